// FLAC: files of the flac tool and of FFmpeg decoded as FFmpeg decodes them, damaged files refused with
// their reason, our encoder's files accepted by flac -t and decoded exactly by FFmpeg, and the tags of every
// written format read back by FFmpeg, metaflac and sx -tags. The outside programs are native: where they
// cannot be started (under Wine) the cases that need them are skipped.
#include "converter/Bytes.h"
#include "converter/Converter.h"
#include "converter/Md5.h"
#include "converter/codecs/FlacEncoder.h"
#include "converter/formats/FlacReader.h"
#include "converter/formats/FlacWriter.h"
#include "tests/converter/Signals.h"
#include "tests/fixtures/TestFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

using namespace sx;

namespace {

using sxtest::kFfmpeg;
const std::string kFlac = "/usr/bin/flac";

bool FlacRuns() {
  static const bool Runs =
      sxtest::RunCommand("\"" + kFlac + "\" --version > " + std::string(sxtest::NullDevice()) + " 2>&1") == 0;
  return Runs;
}

class FlacOracle : public ::testing::Test {
protected:
  void SetUp() override {
    static const bool Available = sxtest::CanRun(kFfmpeg) && FlacRuns();
    if (!Available)
      GTEST_SKIP() << kFfmpeg << " and " << kFlac
                   << " cannot both be started from this process (native programs, not under Wine)";
  }

  void Run(const std::string& Line) { ASSERT_EQ(sxtest::RunCommand(Line), 0) << Line; }

  fixtures::TempDir Dir;
};

// Channels channels of Bits-bit samples, interleaved: a chord, a chirp and a little noise, each channel in
// its own phase, loud enough to use the whole range.
std::vector<int32_t> Music(unsigned Bits, unsigned Channels, uint32_t Rate, size_t Frames, uint32_t Seed) {
  std::mt19937 Random(Seed);
  std::uniform_real_distribution<double> Noise(-1, 1);
  const double Full = std::ldexp(1.0, int(Bits) - 1) - 1;
  std::vector<int32_t> Out;
  for (size_t N = 0; N < Frames; ++N) {
    const double T = double(N) / Rate;
    for (unsigned C = 0; C < Channels; ++C) {
      const double Phase = 0.7 * C;
      double V = 0.35 * std::sin(2 * std::numbers::pi * 220 * (1 + 0.1 * C) * T + Phase) +
                 0.2 * std::sin(2 * std::numbers::pi * 330 * T * (1 + T) + Phase) +
                 0.15 * std::sin(2 * std::numbers::pi * 1375 * T) * std::sin(2 * std::numbers::pi * 3 * T) +
                 0.02 * Noise(Random);
      Out.push_back(static_cast<int32_t>(std::lround(V * Full)));
    }
  }
  return Out;
}

// Samples as raw little-endian bytes, Bits / 8 each.
Bytes Raw(const std::vector<int32_t>& Samples, unsigned Bits) {
  Bytes Out;
  for (int32_t S : Samples)
    for (unsigned B = 0; B < Bits / 8; ++B)
      Out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(S) >> (8 * B)));
  return Out;
}

// Files of the flac tool (levels, block sizes, a non-subset LPC order of 32, wasted bits) and of FFmpeg
// (levels, each stereo decorrelation forced), in 8, 16 and 24 bits, 1, 2 and 6 channels: our decode is the
// sound FFmpeg decodes to a Wave file of the same sample size, read by the Wave reader; 16-bit mono and
// stereo are the source itself.
TEST_F(FlacOracle, DecodesWhatFlacAndFfmpegWrite) {
  struct {
    const char* Name;
    unsigned Bits, Channels;
    uint32_t Rate;
    size_t Frames;
    std::string Encoder; // "flac <options>" or "ffmpeg <options>"
    bool Wasted = false; // the low 3 bits of every sample zero
  } Cases[] = {
      {"flac -0", 16, 2, 44100, 50000, "flac -0"},
      {"flac -5", 16, 2, 44100, 50000, "flac -5"},
      {"flac -8", 16, 2, 48000, 50000, "flac -8"},
      {"flac -3 mono", 16, 1, 22050, 30000, "flac -3"},
      {"flac -5 blocksize 192", 16, 2, 32000, 9000, "flac -5 --blocksize=192"},
      {"flac -6 blocksize 1152", 16, 2, 44100, 20000, "flac -6 --blocksize=1152"},
      {"flac -8 blocksize 4608", 16, 1, 44100, 20000, "flac -8 --blocksize=4608"},
      {"flac order 32", 16, 2, 44100, 20000, "flac --lax -l 32 -b 4096"},
      {"flac wasted bits", 16, 2, 44100, 20000, "flac -5", true},
      {"flac 8-bit mono", 8, 1, 11025, 12000, "flac -5"},
      {"flac 8-bit stereo", 8, 2, 8000, 12000, "flac -8"},
      {"flac 24-bit", 24, 2, 96000, 40000, "flac -5"},
      {"flac 24-bit -8", 24, 1, 48000, 30000, "flac -8"},
      {"flac 6 channels", 16, 6, 48000, 20000, "flac -5"},
      {"flac 24-bit 6 channels", 24, 6, 44100, 10000, "flac -5"},
      {"flac short", 16, 2, 44100, 100, "flac -5"},
      {"ffmpeg 0", 16, 2, 44100, 40000, "ffmpeg -compression_level 0"},
      {"ffmpeg 5", 16, 2, 44100, 40000, "ffmpeg -compression_level 5"},
      {"ffmpeg 12", 16, 2, 44100, 40000, "ffmpeg -compression_level 12"},
      {"ffmpeg left-side", 16, 2, 22050, 20000, "ffmpeg -ch_mode left_side"},
      {"ffmpeg side-right", 16, 2, 22050, 20000, "ffmpeg -ch_mode right_side"},
      {"ffmpeg mid-side", 16, 2, 22050, 20000, "ffmpeg -ch_mode mid_side"},
      {"ffmpeg 24-bit", 24, 2, 48000, 30000, "ffmpeg -compression_level 8"},
      {"ffmpeg 6 channels", 16, 6, 44100, 20000, "ffmpeg -compression_level 5"},
  };
  for (auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    std::vector<int32_t> Source = Music(C.Bits, C.Channels, C.Rate, C.Frames, C.Bits + C.Channels);
    if (C.Wasted)
      for (int32_t& S : Source)
        S &= ~7;
    const std::string RawFile = Dir.File(std::string(C.Name) + ".raw"),
                      Flac = Dir.File(std::string(C.Name) + ".flac"),
                      Decoded = Dir.File(std::string(C.Name) + ".wav");
    fixtures::WriteFile(RawFile, Raw(Source, C.Bits));
    const std::string Format = " --channels=" + std::to_string(C.Channels) +
                               " --bps=" + std::to_string(C.Bits) +
                               " --sample-rate=" + std::to_string(C.Rate);
    const std::string FfmpegInput = " -f " +
                                    std::string(C.Bits == 8    ? "s8"
                                                : C.Bits == 16 ? "s16le"
                                                               : "s24le") +
                                    " -ar " + std::to_string(C.Rate) + " -ac " + std::to_string(C.Channels);
    if (C.Encoder.rfind("flac", 0) == 0)
      Run(kFlac + " -s -f " + C.Encoder.substr(5) + " --force-raw-format --endian=little --sign=signed" +
          Format + " -o \"" + Flac + "\" \"" + RawFile + "\"");
    else
      Run(kFfmpeg + " -v error -y" + FfmpegInput + " -i \"" + RawFile + "\" -c:a flac " +
          C.Encoder.substr(7) + " \"" + Flac + "\"");
    Run(kFfmpeg + " -v error -y -i \"" + Flac + "\" -c:a " + (C.Bits == 24 ? "pcm_s24le" : "pcm_s16le") +
        " \"" + Decoded + "\"");
    const TAudio Ours = ReadAudio(fixtures::ReadFile(Flac));
    const TAudio Theirs = ReadAudio(fixtures::ReadFile(Decoded));
    EXPECT_EQ(Ours.SampleRate, C.Rate);
    EXPECT_EQ(Ours.Channels, std::min(C.Channels, 2u));
    EXPECT_EQ(Ours.Frames(), C.Frames);
    EXPECT_TRUE(Ours.Samples == Theirs.Samples) << "differs at sample "
                                                << std::mismatch(Ours.Samples.begin(), Ours.Samples.end(),
                                                                 Theirs.Samples.begin(), Theirs.Samples.end())
                                                           .first -
                                                       Ours.Samples.begin();
    if (C.Bits == 16 && C.Channels <= 2) {
      EXPECT_TRUE(std::equal(Ours.Samples.begin(), Ours.Samples.end(), Source.begin(), Source.end()));
    }
  }
}

// A stream of variable block size made with the frame encoder: blocks of the sizes in Blocks in turn, each
// frame numbered by its first sample.
Bytes VariableBlocks(const TAudio& A, const std::vector<unsigned>& Blocks) {
  Bytes Out = fixtures::TextBytes("fLaC");
  const unsigned Smallest = *std::min_element(Blocks.begin(), Blocks.end()),
                 Largest = *std::max_element(Blocks.begin(), Blocks.end());
  Out.insert(Out.end(), {0x80, 0, 0, 34});
  PutBE16(Out, Smallest);
  PutBE16(Out, Largest);
  Out.insert(Out.end(), 6, 0); // frame sizes not known
  const uint64_t Fields =
      uint64_t(A.SampleRate) << 44 | uint64_t(A.Channels - 1) << 41 | uint64_t(15) << 36 | A.Frames();
  PutBE32(Out, static_cast<uint32_t>(Fields >> 32));
  PutBE32(Out, static_cast<uint32_t>(Fields));
  TMd5 Md5;
  for (int16_t S : A.Samples) {
    const uint8_t Le[2] = {static_cast<uint8_t>(S), static_cast<uint8_t>(static_cast<uint16_t>(S) >> 8)};
    Md5.Add(Le, 2);
  }
  const std::array<uint8_t, 16> Digest = Md5.Finish();
  Out.insert(Out.end(), Digest.begin(), Digest.end());
  TFlacEncoder Encoder(A.Channels, A.SampleRate);
  for (size_t At = 0, I = 0; At < A.Frames(); At += Blocks[I % Blocks.size()], ++I) {
    const unsigned Block =
        static_cast<unsigned>(std::min<size_t>(Blocks[I % Blocks.size()], A.Frames() - At));
    Encoder.Encode(A.Samples.data() + At * A.Channels, Block, At, true, Out);
  }
  return Out;
}

// Every sound written by WriteFlac (and one of variable blocks) passes flac -t, and FFmpeg and our reader
// decode it to the sound itself.
TEST_F(FlacOracle, EncodesWhatFlacAcceptsAndFfmpegDecodesExactly) {
  TAudio Extremes = sxtest::Silence(44100, 9000, 2); // the side channel at its widest: 17 bits
  for (size_t N = 0; N < 9000; ++N) {
    Extremes.Samples[2 * N] = N % 3 ? 32767 : -32768;
    Extremes.Samples[2 * N + 1] = N % 3 ? -32768 : 32767;
  }
  TAudio White = sxtest::Silence(48000, 10000, 2);
  std::mt19937 Random(5);
  for (int16_t& S : White.Samples)
    S = static_cast<int16_t>(Random());
  TAudio Quantised = sxtest::Chord(22050, 20000); // the low 4 bits zero: wasted bits
  for (int16_t& S : Quantised.Samples)
    S = static_cast<int16_t>(S & ~15);
  const TAudio Song = sxtest::Song(44100, 3);
  struct {
    const char* Name;
    TAudio Sound;
    bool Variable = false;
  } Cases[] = {
      {"silence stereo", sxtest::Silence(44100, 20000, 2)},
      {"sine mono", sxtest::Sine(44100, 30000, 440, 0.5)},
      {"pink noise stereo", sxtest::PinkNoise(44100, 30000, 2, 0.8, 3)},
      {"white noise stereo", White},
      {"identical channels", sxtest::Sine(48000, 20000, 1000, 0.7, 2)},
      {"song", Song},
      {"extremes", Extremes},
      {"wasted bits", Quantised},
      {"mono shorter than a block", sxtest::Chirp(44100, 1000, 100, 5000)},
      {"stereo of one frame", sxtest::Silence(22050, 1, 2)},
      {"stereo of 17 frames",
       sxtest::Stereo(sxtest::Chirp(8000, 17, 100, 900), sxtest::Chirp(8000, 17, 900, 100))},
      {"8000 Hz", sxtest::Chord(8000, 9000)},
      {"11025 Hz", sxtest::Chord(11025, 9000)},
      {"7350 Hz", sxtest::Chord(7350, 9000)},
      {"32000 Hz stereo", sxtest::Stereo(sxtest::Chord(32000, 9000), sxtest::Chirp(32000, 9000, 50, 15000))},
      {"96000 Hz", sxtest::Chord(96000, 20000)},
      {"100000 Hz", sxtest::Chord(100000, 10000)},
      {"variable blocks", Song, true},
  };
  for (auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    const std::string File = Dir.File(std::string(C.Name) + ".flac"), Raw = File + ".raw";
    const Bytes Data = C.Variable ? VariableBlocks(C.Sound, {4096, 1000, 192, 4608, 17}) : WriteFlac(C.Sound);
    fixtures::WriteFile(File, Data);
    Run(kFlac + " -t -s \"" + File + "\"");
    Run(kFfmpeg + " -v error -y -i \"" + File + "\" -f s16le -c:a pcm_s16le \"" + Raw + "\"");
    const Bytes Decoded = fixtures::ReadFile(Raw);
    std::vector<int16_t> Theirs(Decoded.size() / 2);
    for (size_t I = 0; I < Theirs.size(); ++I)
      Theirs[I] = static_cast<int16_t>(Decoded[2 * I] | Decoded[2 * I + 1] << 8);
    EXPECT_TRUE(Theirs == C.Sound.Samples);
    const TAudio Ours = ReadAudio(Data);
    EXPECT_TRUE(Ours.Samples == C.Sound.Samples);
    EXPECT_EQ(Ours.SampleRate, C.Sound.SampleRate);
    EXPECT_EQ(Ours.Channels, C.Sound.Channels);
  }
}

// The position of the second frame of a file WriteFlac made (its first frame's size from the same encoder).
size_t SecondFrame(const TAudio& Sound, size_t FirstFrame) {
  Bytes One;
  TFlacEncoder(Sound.Channels, Sound.SampleRate).Encode(Sound.Samples.data(), 4096, 0, false, One);
  return FirstFrame + One.size();
}

// Damage under each check: the converter refuses the file with its reason and writes nothing.
TEST(Flac, DamagedFilesAreRefusedWithTheirReason) {
  fixtures::TempDir Dir;
  const TAudio Sound = sxtest::Song(44100, 1); // 44100 frames: 10 frames of 4096 and one of 3140
  const Bytes Good = WriteFlac(Sound);
  const size_t First = 8 + 34 + 4 + (Good[43] << 16 | Good[44] << 8 | Good[45]); // after both metadata blocks
  const size_t Second = SecondFrame(Sound, First);
  auto Flipped = [&](size_t At, uint8_t Bit) {
    Bytes D = Good;
    D[At] ^= Bit;
    return D;
  };
  struct {
    const char* Name;
    Bytes Data;
    std::string Reason;
  } Cases[] = {
      // The frame number of the second frame, 1, read as 0.
      {"header", Flipped(Second + 4, 1),
       "Damaged FLAC file: frame 2 (at byte " + std::to_string(Second) +
           ") has a header that fails its CRC-8"},
      // The first sample of the first subframe: 6 bytes of frame header, 1 of subframe header.
      {"frame", Flipped(First + 7, 0x10),
       "Damaged FLAC file: frame 1 (at byte " + std::to_string(First) + ") fails its CRC-16"},
      {"MD5", Flipped(8 + 18 + 5, 4),
       "Damaged FLAC file: its decoded samples do not match the MD5 in its stream information"},
      {"cut frame", Bytes(Good.begin(), Good.end() - 700), ""},
      {"cut between frames", Bytes(Good.begin(), Good.begin() + static_cast<ptrdiff_t>(Second)),
       "Truncated FLAC file: it ends after 4096 of its 44100 samples"},
      {"cut metadata", Bytes(Good.begin(), Good.begin() + 30), "Truncated FLAC file"},
  };
  for (auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    const std::string In = Dir.File(std::string(C.Name) + ".flac"),
                      Out = Dir.File(std::string(C.Name) + ".wav");
    fixtures::WriteFile(In, C.Data);
    std::string StdOut, StdErr;
    EXPECT_EQ(RunConverter({"-wave", In, "-=" + Out}, StdOut, StdErr), 2);
    if (C.Reason.empty()) { // the cut frame: the last
      EXPECT_EQ(StdErr.find("sx: Truncated FLAC file: frame 11 (at byte "), 0u) << StdErr;
    } else {
      EXPECT_EQ(StdErr, "sx: " + C.Reason + "\n");
    }
    EXPECT_FALSE(fixtures::FileExists(Out));
  }
  EXPECT_EQ(ReadAudio(Good).Samples, Sound.Samples);
}

} // namespace
