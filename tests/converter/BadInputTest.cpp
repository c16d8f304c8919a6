// Inputs that must fail cleanly: empty, garbage, every truncation of each kind, random damage.
#include "converter/Converter.h"
#include "converter/formats/AiffWriter.h"
#include "converter/formats/EAStreamWriter.h"
#include "converter/formats/WaveWriter.h"
#include "tests/converter/Signals.h"
#include "tests/fixtures/TestFiles.h"

#include <gtest/gtest.h>

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
  };
}

// Every proper prefix of a file is an error of the reader (never a crash, never a shorter sound); the
// cut is reported as a truncation or damage.
TEST(BadInput, EveryTruncationOfEachReaderFails) {
  for (const TValidFile& F : ValidFiles()) {
    ASSERT_NO_THROW(ReadAudio(F.Data)) << F.Name;
    const size_t Step = F.Data.size() > 4000 ? 7 : 1;
    for (size_t Length = 0; Length < F.Data.size(); Length += (Length < 64 ? 1 : Step)) {
      Bytes Prefix(F.Data.begin(), F.Data.begin() + Length);
      try {
        ReadAudio(Prefix);
        ADD_FAILURE() << F.Name << " cut at " << Length << " was accepted";
      } catch (const EConvertError& E) {
        const std::string M = E.what();
        EXPECT_TRUE(M.find("Truncated") == 0 || M.find("Damaged") == 0 ||
                    M.find("empty") != std::string::npos || M.find("not a known") != std::string::npos)
            << F.Name << " cut at " << Length << ": " << M;
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

TEST(BadInput, ConversionsReportOneLineAndLeaveNoOutput) {
  fixtures::TempDir Dir;
  const std::vector<TValidFile> Valid = ValidFiles();
  const Bytes& Wave = Valid[0].Data;
  const Bytes& Stream = Valid[2].Data;
  struct {
    const char* Name;
    Bytes Content;
    const char* Message;
  } Cases[] = {
      {"empty", {}, "empty"},
      {"garbage", fixtures::Pattern(5000, 7), "not a known sound format"},
      {"text", fixtures::TextBytes("RIFF is not enough"), "not a known sound format"},
      {"truncated wave", Bytes(Wave.begin(), Wave.begin() + 100), "Truncated Wave file"},
      {"truncated stream", Bytes(Stream.begin(), Stream.end() - 9), "Truncated EA stream file"},
      {"bad codec", fixtures::FromHex("53 43 48 6c 14 00 00 00 50 54 00 00 fd a0 01 05 ff 00 00 00"),
       "codec 5"},
      {"mp3 sync only", fixtures::FromHex("49 44 33 03 00 00 00 00 00 00 ff fb 90 00"), "MP3"},
  };
  for (auto& C : Cases) {
    const std::string In = Dir.File(std::string(C.Name) + " in.bin"),
                      Out = Dir.File(std::string(C.Name) + " out.asf");
    fixtures::WriteFile(In, C.Content);
    std::string StdOut, StdErr;
    EXPECT_NE(RunConverter({"-pcstream", "-eaxa_blk", In, "-=" + Out}, StdOut, StdErr), 0) << C.Name;
    EXPECT_NE(StdErr.find(C.Message), std::string::npos) << C.Name << ": " << StdErr;
    EXPECT_EQ(StdErr.find('\n'), StdErr.size() - 1) << C.Name;
    EXPECT_FALSE(fixtures::FileExists(Out)) << C.Name;
    EXPECT_FALSE(fixtures::FileExists(Out + ".sx~")) << C.Name;
  }
  std::string StdOut, StdErr;
  EXPECT_NE(RunConverter({"-wave", Dir.File("missing.wav"), "-=" + Dir.File("o.wav")}, StdOut, StdErr), 0);
  EXPECT_NE(StdErr.find("Cannot open file"), std::string::npos) << StdErr;
  EXPECT_EQ(StdErr.find('\n'), StdErr.size() - 1) << StdErr;
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
