// Inputs that must fail cleanly or be read as players read them: empty, garbage, every truncation of each
// kind, random damage.
#include "converter/Converter.h"
#include "converter/formats/AiffWriter.h"
#include "converter/formats/EAStreamWriter.h"
#include "converter/formats/FlacWriter.h"
#include "converter/formats/WaveWriter.h"
#include "platform/FileSystem.h"
#include "tests/converter/Signals.h"
#include "tests/fixtures/TestFiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>

using namespace sx;

namespace {

struct TValidFile {
  const char* Name;
  Bytes Data;
};

std::vector<TValidFile> ValidFiles() {
  TAudio Stereo = sxtest::Stereo(sxtest::Chord(22050, 3100), sxtest::Chirp(22050, 3100, 100, 900));
  TAudio Mono = sxtest::Chirp(22050, 1000, 300, 600);
  return {
      {"wave", WriteWave(Stereo)},
      {"aiff", WriteAiff(Stereo)},
      {"eaxa", WriteEAStream(Stereo, TEACodec::EAXA)},
      {"s16l", WriteEAStream(Stereo, TEACodec::PcmS16LE)},
      {"s8", WriteEAStream(Mono, TEACodec::PcmS8)},
      {"mt10", WriteEAStream(Mono, TEACodec::MicroTalk10)},
      {"mt5", WriteEAStream(Mono, TEACodec::MicroTalk5)},
      {"flac", WriteFlac(Stereo)},
  };
}

// The frames a reader keeps of File cut to Length bytes, as players do: the whole sample frames of a Wave
// or AIFF file after its header, the samples of the whole blocks of an EA stream. Before the header's end,
// a cut is an error: the result is then SIZE_MAX. FLAC, whose stream information gives its length and MD5,
// refuses every cut.
size_t FramesKept(const TValidFile& File, size_t Length, const TAudio& Whole) {
  const std::string Name = File.Name;
  if (Name == "flac")
    return SIZE_MAX;
  if (Name == "wave" || Name == "aiff") {
    const size_t Header = Name == "wave" ? 44 : 54;
    return Length < Header ? SIZE_MAX : std::min(Whole.Frames(), (Length - Header) / (2 * Whole.Channels));
  }
  size_t Frames = 0;
  for (size_t At = 0; At + 8 <= Length;) {
    const size_t Size = File.Data[At + 4] | File.Data[At + 5] << 8 | File.Data[At + 6] << 16;
    if (At + Size > Length)
      return At == 0 ? SIZE_MAX : std::min(Frames, Whole.Frames());
    if (std::memcmp(&File.Data[At], "SCDl", 4) == 0)
      Frames += File.Data[At + 8] | File.Data[At + 9] << 8;
    At += Size;
  }
  return Length < 8 ? SIZE_MAX : std::min(Frames, Whole.Frames());
}

// Every proper prefix of a file is either an error of the reader, reported as a truncation or damage (a
// cut inside the header), or exactly the complete samples before the cut, with a warning.
TEST(BadInput, EveryTruncationKeepsTheCompleteSamplesOrFails) {
  for (const TValidFile& F : ValidFiles()) {
    const TAudio Whole = ReadAudio(F.Data);
    EXPECT_TRUE(Whole.Warnings.empty()) << F.Name;
    const size_t Step = F.Data.size() > 4000 ? 7 : 1;
    for (size_t Length = 0; Length < F.Data.size(); Length += (Length < 64 ? 1 : Step)) {
      SCOPED_TRACE(std::string(F.Name) + " cut at " + std::to_string(Length));
      const Bytes Prefix(F.Data.begin(), F.Data.begin() + Length);
      const size_t Kept = FramesKept(F, Length, Whole);
      try {
        const TAudio Cut = ReadAudio(Prefix);
        ASSERT_NE(Kept, SIZE_MAX) << "accepted";
        EXPECT_EQ(Cut.Channels, Whole.Channels);
        EXPECT_TRUE(std::equal(Cut.Samples.begin(), Cut.Samples.end(), Whole.Samples.begin()));
        EXPECT_EQ(Cut.Frames(), Kept);
        ASSERT_EQ(Cut.Warnings.size(), 1u);
        EXPECT_EQ(Cut.Warnings[0].find("Truncated "), 0u) << Cut.Warnings[0];
      } catch (const EConvertError& E) {
        const std::string M = E.what();
        EXPECT_EQ(Kept, SIZE_MAX) << M;
        EXPECT_TRUE(M.find("Truncated") == 0 || M.find("Damaged") == 0 ||
                    M.find("empty") != std::string::npos || M.find("not a known") != std::string::npos)
            << M;
      }
    }
  }
}

// Random byte damage: decoding either succeeds or raises EConvertError; the sanitizers catch the rest.
TEST(BadInput, RandomDamageNeverCrashes) {
  const unsigned Seed = std::random_device{}();
  std::mt19937 Random(Seed);
  for (const TValidFile& F : ValidFiles()) {
    for (int Round = 0; Round < 60; ++Round) {
      Bytes Damaged = F.Data;
      for (int I = 0; I < 1 + Round % 4; ++I)
        Damaged[Random() % Damaged.size()] = static_cast<uint8_t>(Random());
      try {
        ReadAudio(Damaged);
      } catch (const EConvertError&) {
      } catch (const std::exception& E) {
        ADD_FAILURE() << F.Name << " seed " << Seed << " round " << Round << ": " << E.what();
      }
    }
  }
}

// Each case's standard error, exactly; a failure leaves no output and no scratch file, a warning leaves the
// output. Every path is the one the command gave.
TEST(BadInput, ConversionsReportOneLineEach) {
  fixtures::TempDir Dir;
  const std::vector<TValidFile> Valid = ValidFiles();
  const Bytes& Wave = Valid[0].Data;
  const Bytes& Stream = Valid[2].Data;
  Bytes Aifc = Valid[1].Data;
  Aifc[11] = 'C'; // AIFC, with a compression type of bytes that are not text
  const Bytes Type = fixtures::FromHex("61 62 01 FF");
  Aifc.insert(Aifc.begin() + 38, Type.begin(), Type.end());
  Aifc[19] = 22;
  const std::string Folder = Dir.File("a folder"),
                    NoFolder = Dir.File("missing") + platform::PathDelimiter() + "out.asf";
  std::filesystem::create_directory(Folder);
  struct {
    const char* Name;
    Bytes Content;
    std::string Output;
    std::string Err;
  } Cases[] = {
      {"empty", {}, "", "sx: The input file is empty\n"},
      {"garbage", fixtures::Pattern(5000, 7), "", "sx: The input is not a known sound format\n"},
      {"text", fixtures::TextBytes("RIFF is not enough"), "", "sx: The input is not a known sound format\n"},
      {"cut wave header", Bytes(Wave.begin(), Wave.begin() + 40), "", "sx: Truncated Wave file\n"},
      {"cut wave", Bytes(Wave.begin(), Wave.begin() + 101), "",
       "sx: warning: Truncated Wave file: kept the 14 complete sample frames before the cut\n"},
      {"stream without its last byte", Bytes(Stream.begin(), Stream.end() - 1), "",
       "sx: warning: Truncated EA stream file: kept the 3100 complete sample frames before the cut\n"},
      {"bad codec", fixtures::FromHex("53 43 48 6c 14 00 00 00 50 54 00 00 fd a0 01 05 ff 00 00 00"), "",
       "sx: Unsupported EA stream codec 5\n"},
      {"compression", Aifc, "", "sx: Unsupported AIFF-C compression type 61 62 01 FF\n"},
      {"no output folder", Wave, NoFolder, "sx: Cannot create file \"" + NoFolder + "\"."},
      {"output is a folder", Wave, Folder, "sx: Cannot create file \"" + Folder + "\"."},
  };
  for (auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    const std::string In = Dir.File(std::string(C.Name) + " in.bin");
    const std::string Out = C.Output.empty() ? Dir.File(std::string(C.Name) + " out.asf") : C.Output;
    fixtures::WriteFile(In, C.Content);
    std::string StdOut, StdErr;
    const int Code = RunConverter({"-pcstream", "-eaxa_blk", In, "-=" + Out}, StdOut, StdErr);
    const bool Warning = C.Err.find("sx: warning: ") == 0;
    if (C.Err.back() == '\n')
      EXPECT_EQ(StdErr, C.Err);
    else // the system's reason follows
      EXPECT_EQ(StdErr.substr(0, C.Err.size()), C.Err);
    EXPECT_EQ(StdErr.find('\n'), StdErr.size() - 1);
    EXPECT_EQ(StdErr.find(".sx~"), std::string::npos);
    EXPECT_EQ(Code, Warning ? 0 : 2);
    EXPECT_EQ(fixtures::FileExists(Out), Warning);
    EXPECT_FALSE(fixtures::FileExists(Out + ".sx~"));
  }
  std::string StdOut, StdErr;
  const std::string Missing = Dir.File("missing.wav");
  EXPECT_EQ(RunConverter({"-wave", Missing, "-=" + Dir.File("o.wav")}, StdOut, StdErr), 2);
  EXPECT_EQ(StdErr.find("sx: Cannot open file \"" + Missing + "\". "), 0u) << StdErr;
  EXPECT_EQ(StdErr.find('\n'), StdErr.size() - 1) << StdErr;
  EXPECT_EQ(RunConverter({}, StdOut, StdErr), 1);
  EXPECT_NE(StdOut.find("-pcstream -eaxa_blk   EA SPORTS PC stream, EA-XA 3.7:1 (also -pcstream alone)\n"),
            std::string::npos);
}

// Converts In and expects the converter's one-line Message and no output.
void ExpectRefused(const Bytes& In, const std::string& Message) {
  fixtures::TempDir Dir;
  fixtures::WriteFile(Dir.File("in.bin"), In);
  std::string StdOut, StdErr;
  EXPECT_EQ(RunConverter({"-pcstream", "-eaxa_blk", Dir.File("in.bin"), "-=" + Dir.File("out.asf")}, StdOut,
                         StdErr),
            2);
  EXPECT_EQ(StdErr, "sx: " + Message + "\n");
  EXPECT_FALSE(fixtures::FileExists(Dir.File("out.asf")));
}

// A 60-byte Wave of 4-bit samples with a block align of 0 once passed the block check (4 / 8 = 0) and
// divided the data size by zero.
TEST(BadInput, WaveWithFewerThan8BitsPerSampleIsRefused) {
  ExpectRefused(fixtures::FromHex("52494646 34000000 57415645 666D7420 10000000"
                                  "0100 0100 22560000 112B0000 0000 0400 64617461 10000000"
                                  "00000000000000000000000000000000"),
                "Unsupported sample format: 4-bit");
}

// A 58-byte AIFF with a sample size of 0 bits once made a frame size of 0 and divided by it.
TEST(BadInput, AiffWithZeroBitSamplesIsRefused) {
  ExpectRefused(fixtures::FromHex("464F524D 00000032 41494646 434F4D4D 00000012"
                                  "0001 00000004 0000 400DAC44000000000000 53534E44 0000000C"
                                  "00000000 00000000 00000000"),
                "Damaged AIFF common chunk");
}

// A failed conversion leaves an output file that was already there as it was.
TEST(BadInput, FailureKeepsAnExistingOutput) {
  fixtures::TempDir Dir;
  fixtures::WriteFile(Dir.File("bad.wav"), fixtures::TextBytes("junk"));
  fixtures::WriteFile(Dir.File("out.wav"), fixtures::TextBytes("previous"));
  std::string StdOut, StdErr;
  EXPECT_NE(RunConverter({"-wave", Dir.File("bad.wav"), "-=" + Dir.File("out.wav")}, StdOut, StdErr), 0);
  EXPECT_EQ(fixtures::ReadFile(Dir.File("out.wav")), fixtures::TextBytes("previous"));
}

} // namespace
