// FLAC: files of the flac tool and of FFmpeg decoded as FFmpeg decodes them, damaged files refused with
// their reason, our encoder's files accepted by flac -t and decoded exactly by FFmpeg, and the tags of every
// written format read back by FFmpeg, metaflac and sx -tags. The outside programs are native: where they
// cannot be started (under Wine) the cases that need them are skipped.
#include "converter/Bytes.h"
#include "converter/Converter.h"
#include "tests/converter/Signals.h"
#include "tests/fixtures/TestFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

using namespace sx;

namespace {

const std::string kFfmpeg = "/usr/bin/ffmpeg";
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

} // namespace
