// FFmpeg as an independent decoder of what we write, and as the maker of test MP3 files. FFmpeg is a
// native program: where it cannot be started (under Wine), these cases are skipped.
#include "converter/Converter.h"
#include "converter/formats/AiffWriter.h"
#include "converter/formats/EAStreamReader.h"
#include "converter/formats/EAStreamWriter.h"
#include "converter/formats/WaveReader.h"
#include "converter/formats/WaveWriter.h"
#include "tests/converter/Signals.h"
#include "tests/fixtures/TestFiles.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace sx;

namespace {

using sxtest::kFfmpeg;
const std::string kFfprobe = "/usr/bin/ffprobe";

class Ffmpeg : public ::testing::Test {
protected:
  void SetUp() override {
    static const bool Available = sxtest::CanRun(kFfmpeg);
    if (!Available)
      GTEST_SKIP()
          << kFfmpeg
          << " cannot be started from this process (a native program: under Wine, cmd.exe does not find it, "
             "and \"start /unix\" neither redirects its output nor returns its exit status)";
  }

  // FFmpeg's decode of File as interleaved 16-bit samples.
  std::vector<int16_t> Decode(const std::string& File) {
    const std::string Raw = File + ".raw";
    EXPECT_EQ(sxtest::RunCommand(kFfmpeg + " -v error -y -i \"" + File + "\" -f s16le -c:a pcm_s16le \"" +
                                 Raw + "\""),
              0);
    const Bytes Data = fixtures::ReadFile(Raw);
    std::vector<int16_t> Samples(Data.size() / 2);
    for (size_t I = 0; I < Samples.size(); ++I)
      Samples[I] = static_cast<int16_t>(Data[2 * I] | Data[2 * I + 1] << 8);
    return Samples;
  }

  std::string Probe(const std::string& File, const std::string& Entries) {
    const std::string Out = File + ".probe";
    EXPECT_EQ(sxtest::RunCommand(kFfprobe + " -v error -show_entries " + Entries + " -of default=nw=1 \"" +
                                 File + "\" > \"" + Out + "\""),
              0);
    const Bytes Data = fixtures::ReadFile(Out);
    return std::string(Data.begin(), Data.end());
  }

  fixtures::TempDir Dir;
};

// Samples FFmpeg 5.1 decodes of an EA-XA stream: per block only whole 28-sample frames.
size_t FfmpegEAXAFrames(const TEAStreamInfo& Info) {
  size_t Total = 0;
  for (const TEABlockInfo& B : Info.Blocks)
    Total += B.Samples / 28 * 28;
  return Total;
}

TEST_F(Ffmpeg, DecodesOurStreamsToOurSamples) {
  struct {
    const char* Name;
    TAudio Sound;
    TEACodec Codec;
    const char* CodecName;
  } Cases[] = {
      {"eaxa mono", sxtest::Chord(22050, 30001), TEACodec::EAXA, "adpcm_ea_r2"},
      {"eaxa stereo", sxtest::Stereo(sxtest::Chord(44100, 44110), sxtest::Chirp(44100, 44110, 30, 18000)),
       TEACodec::EAXA, "adpcm_ea_r2"},
      {"eaxa square", sxtest::Square(32000, 20000, 300), TEACodec::EAXA, "adpcm_ea_r2"},
      {"eaxa short", sxtest::Chirp(22050, 700, 300, 3000), TEACodec::EAXA, "adpcm_ea_r2"},
      {"s16l stereo",
       sxtest::Stereo(sxtest::Chirp(22050, 25000, 100, 9000), sxtest::Square(22050, 25000, 50)),
       TEACodec::PcmS16LE, "pcm_s16le_planar"},
  };
  for (auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    const std::string File = Dir.File(std::string(C.Name) + ".asf");
    fixtures::WriteFile(File, WriteEAStream(C.Sound, C.Codec));
    TEAStreamInfo Info;
    const TAudio Ours = ReadEAStream(fixtures::ReadFile(File), &Info);
    const std::vector<int16_t> Theirs = Decode(File);
    const size_t Expected =
        (C.Codec == TEACodec::EAXA ? FfmpegEAXAFrames(Info) : Ours.Frames()) * C.Sound.Channels;
    ASSERT_EQ(Theirs.size(), Expected);
    EXPECT_TRUE(std::equal(Theirs.begin(), Theirs.end(), Ours.Samples.begin()));
    const double Seconds = double(C.Sound.Frames()) / C.Sound.SampleRate;
    const std::string P = Probe(File, "stream=codec_name,sample_rate,channels");
    EXPECT_EQ(P, "codec_name=" + std::string(C.CodecName) +
                     "\nsample_rate=" + std::to_string(C.Sound.SampleRate) +
                     "\nchannels=" + std::to_string(C.Sound.Channels) + "\n");
    // The packets' durations are the blocks' sample counts: their sum is the length we wrote.
    const std::string Packets = Probe(File, "packet=duration_time");
    double Sum = 0;
    for (size_t At = Packets.find('='); At != std::string::npos; At = Packets.find('=', At + 1))
      Sum += std::atof(Packets.c_str() + At + 1);
    EXPECT_NEAR(Sum, Seconds, 1e-3);
    if (C.Codec == TEACodec::EAXA)
      std::printf("  %-12s SNR of FFmpeg's decode %.2f dB\n", C.Name,
                  sxtest::SnrDb(C.Sound, TAudio{C.Sound.SampleRate, C.Sound.Channels, Theirs, {}}));
  }
}

TEST_F(Ffmpeg, ReadsOurWaveAndAiff) {
  TAudio Sound = sxtest::Stereo(sxtest::Chord(48000, 12345), sxtest::Square(48000, 12345, 1000));
  const std::string Wave = Dir.File("out.wav"), Aiff = Dir.File("out.aif");
  fixtures::WriteFile(Wave, WriteWave(Sound));
  fixtures::WriteFile(Aiff, WriteAiff(Sound));
  EXPECT_EQ(Decode(Wave), Sound.Samples);
  EXPECT_EQ(Decode(Aiff), Sound.Samples);
  EXPECT_EQ(Probe(Aiff, "stream=codec_name,sample_rate,channels"),
            "codec_name=pcm_s16be\nsample_rate=48000\nchannels=2\n");
}

// Wave and AIFF files FFmpeg writes in layouts our writer never uses (FFmpeg makes 8 bits by truncation).
TEST_F(Ffmpeg, WeReadFfmpegsFiles) {
  const std::string Source = Dir.File("source.wav");
  TAudio Sound = sxtest::Stereo(sxtest::Chord(22050, 5000), sxtest::Chirp(22050, 5000, 200, 5000));
  fixtures::WriteFile(Source, WriteWave(Sound));
  struct {
    const char* Name;
    const char* Arguments;
    int MaxDifference;
  } Cases[] = {
      {"s24.wav", "-c:a pcm_s24le", 0},
      {"f32.wav", "-c:a pcm_f32le", 0},
      {"u8.wav", "-c:a pcm_u8", 255},
      {"s32.aif", "-c:a pcm_s32be", 0},
      {"sowt.aifc", "-c:a pcm_s16le -f aiff", 0},
      {"ext.wav", "-c:a pcm_s24le -rf64 never -write_bext 0 -af aformat=channel_layouts=stereo", 0},
  };
  for (auto& C : Cases) {
    const std::string File = Dir.File(C.Name);
    ASSERT_EQ(sxtest::RunCommand(kFfmpeg + " -v error -y -i \"" + Source + "\" " + C.Arguments + " \"" +
                                 File + "\""),
              0)
        << C.Name;
    TAudio Back = ReadAudio(fixtures::ReadFile(File));
    EXPECT_EQ(Back.Channels, 2u) << C.Name;
    ASSERT_EQ(Back.Samples.size(), Sound.Samples.size()) << C.Name;
    EXPECT_LE(sxtest::MaxDifference(Sound, Back), C.MaxDifference) << C.Name;
  }
  // Six channels are mixed down to stereo.
  const std::string Surround = Dir.File("surround.wav");
  ASSERT_EQ(sxtest::RunCommand(kFfmpeg +
                               " -v error -y -f lavfi -i \"sine=frequency=300:sample_rate=44100:duration=1\" "
                               "-af \"pan=5.1|FL=c0|FR=c0|FC=c0|LFE=c0|BL=c0|BR=c0\" \"" +
                               Surround + "\""),
            0);
  TAudio Mixed = ReadAudio(fixtures::ReadFile(Surround));
  EXPECT_EQ(Mixed.Channels, 2u);
  EXPECT_EQ(Mixed.Frames(), 44100u);
}

TEST_F(Ffmpeg, Mp3InputDecodesToTheRightLengthAndRate) {
  struct {
    const char* Name;
    unsigned Rate;
    unsigned Channels;
    double Seconds;
  } Cases[] = {
      {"stereo 44100", 44100, 2, 2.0}, {"mono 22050", 22050, 1, 1.5}, {"stereo 32000", 32000, 2, 1.0}};
  for (auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    const std::string Mp3 = Dir.File(std::string(C.Name) + ".mp3"),
                      Asf = Dir.File(std::string(C.Name) + ".asf");
    ASSERT_EQ(sxtest::RunCommand(kFfmpeg + " -v error -y -f lavfi -i \"sine=frequency=440:sample_rate=" +
                                 std::to_string(C.Rate) + ":duration=" + std::to_string(C.Seconds) +
                                 "\" -ac " + std::to_string(C.Channels) + " -c:a libmp3lame -b:a 128k \"" +
                                 Mp3 + "\""),
              0);
    std::string Out, Err;
    ASSERT_EQ(RunConverter({"-pcstream", "-eaxa_blk", Mp3, "-=" + Asf}, Out, Err), 0) << Err;
    TAudio Back = ReadAudio(fixtures::ReadFile(Asf));
    EXPECT_EQ(Back.SampleRate, C.Rate);
    EXPECT_EQ(Back.Channels, C.Channels);
    // Gapless decoding removes the encoder's delay and padding: the length is the source's.
    EXPECT_NEAR(double(Back.Frames()), C.Seconds * C.Rate, 1);
    double Energy = 0;
    for (int16_t S : Back.Samples)
      Energy += double(S) * S;
    EXPECT_GT(std::sqrt(Energy / Back.Samples.size()), 1000.0); // a sine at -6 dB, not silence
  }
}

} // namespace
