// Loudness and true peak: the K-weighting filters, values that follow from the measure's definition, the
// same signals measured by FFmpeg's ebur128 filter, and the gain of a conversion.
#include "converter/analysis/Loudness.h"
#include "archive/uEAStream.h"
#include "converter/Converter.h"
#include "converter/Json.h"
#include "converter/analysis/Gain.h"
#include "converter/analysis/KWeighting.h"
#include "converter/analysis/TruePeak.h"
#include "converter/formats/AiffWriter.h"
#include "converter/formats/EAStreamWriter.h"
#include "converter/formats/FlacWriter.h"
#include "converter/formats/WaveWriter.h"
#include "platform/FileSystem.h"
#include "tests/converter/Signals.h"
#include "tests/fixtures/TestFiles.h"
#include "tools/make-demo/Demo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

using namespace sx;
using namespace sxtest;

namespace {

// The biquad's gain in dB at Hz.
double ResponseDb(const TBiquad& F, double Hz, uint32_t Rate) {
  const std::complex<double> Z = std::polar(1.0, -2 * std::numbers::pi * Hz / Rate); // z^-1
  const std::complex<double> H = (F.B0 + F.B1 * Z + F.B2 * Z * Z) / (1.0 + F.A1 * Z + F.A2 * Z * Z);
  return 20 * std::log10(std::abs(H));
}

double KWeightingDb(double Hz, uint32_t Rate) {
  return ResponseDb(KWeightingShelf(Rate), Hz, Rate) + ResponseDb(KWeightingHighPass(Rate), Hz, Rate);
}

TEST(Loudness, KWeightingIsThePublishedFilterAtEveryRate) {
  // The published coefficients for 48 kHz.
  const TBiquad Shelf = KWeightingShelf(48000), HighPass = KWeightingHighPass(48000);
  const double Expected[10] = {1.53512485958697,
                               -2.69169618940638,
                               1.19839281085285,
                               -1.69065929318241,
                               0.73248077421585,
                               1.0,
                               -2.0,
                               1.0,
                               -1.99004745483398,
                               0.99007225036621};
  const double Got[10] = {Shelf.B0,    Shelf.B1,    Shelf.B2,    Shelf.A1,    Shelf.A2,
                          HighPass.B0, HighPass.B1, HighPass.B2, HighPass.A1, HighPass.A2};
  for (int I = 0; I < 10; ++I)
    EXPECT_NEAR(Got[I], Expected[I], 1e-8) << "coefficient " << I;
  // Other rates have the same response below an eighth of their rate, where the transform's warping is
  // small, but for the high pass's unnormalised numerator, whose gain grows by 0.05 dB at 22.05 kHz and
  // 0.2 dB at 8 kHz as in every meter that derives the filter so. 48 kHz coefficients used at another rate
  // would move the shelf and the high pass with it: 2 dB and more at 22.05 kHz.
  for (uint32_t Rate : {8000u, 22050u, 32000u, 44100u, 96000u})
    for (double Hz : {20.0, 40.0, 100.0, 500.0, 1000.0, 1500.0, 2000.0})
      if (Hz < Rate / 8.0) {
        EXPECT_NEAR(KWeightingDb(Hz, Rate), KWeightingDb(Hz, 48000), Rate >= 22050 ? 0.08 : 0.25)
            << Rate << " Hz at " << Hz << " Hz";
      }
}

// Sound that starts and ends abruptly rings between its first and last samples when it is reconstructed:
// a true peak above the wave's own. Real songs fade in and out, and so do these over 10 ms.
TAudio Faded(TAudio Sound) {
  const size_t Fade = Sound.SampleRate / 100, Frames = Sound.Frames();
  for (size_t N = 0; N < std::min(Fade, Frames / 2); ++N) {
    const double Gain = (1 - std::cos(std::numbers::pi * double(N) / Fade)) / 2;
    for (unsigned C = 0; C < Sound.Channels; ++C)
      for (size_t At : {N, Frames - 1 - N})
        Sound.Samples[At * Sound.Channels + C] =
            static_cast<int16_t>(std::lround(Sound.Samples[At * Sound.Channels + C] * Gain));
  }
  return Sound;
}

// A sine's loudness from the definition: its mean square in each channel through the K-weighting's gain.
double SineLoudness(double Amplitude, double Hz, uint32_t Rate, unsigned Channels) {
  return -0.691 + 10 * std::log10(Channels * Amplitude * Amplitude / 2) + KWeightingDb(Hz, Rate);
}

// Values that follow from the definition (these run under Wine too).
TEST(Loudness, DefinitionsValues) {
  const TAudio LoudThenQuiet = [] {
    TAudio A = Sine(48000, 12 * 48000, 1000, 0.1, 2);
    for (size_t I = 2 * 48000 * 2; I < A.Samples.size(); ++I)
      A.Samples[I] = static_cast<int16_t>(A.Samples[I] / 31.62); // -30 dB more
    return A;
  }();
  struct {
    const char* Name;
    TAudio Sound;
    std::optional<double> Integrated, TruePeak;
  } Cases[] = {
      // A 0 dBFS 1 kHz sine in one channel reads -3.01 LUFS; in both channels of stereo, 3 dB more.
      {"1 kHz 0 dBFS mono", Sine(48000, 48000, 1000, 1.0), -3.01, 0.0},
      {"1 kHz -20 dBFS stereo", Sine(48000, 48000, 1000, 0.1, 2), -20.0, -20.0},
      {"1 kHz -20 dBFS left only", Stereo(Sine(48000, 48000, 1000, 0.1), Silence(48000, 48000)), -23.01,
       -20.0},
      {"1 kHz -20 dBFS right only", Stereo(Silence(48000, 48000), Sine(48000, 48000, 1000, 0.1)), -23.01,
       -20.0},
      {"997 Hz 44.1k stereo", Sine(44100, 44100, 997, 0.1, 2), SineLoudness(0.1, 997, 44100, 2), -20.0},
      {"100 Hz 22.05k mono", Sine(22050, 44100, 100, 0.5), SineLoudness(0.5, 100, 22050, 1), -6.02},
      {"30 Hz 8k mono", Sine(8000, 16000, 30, 0.5), SineLoudness(0.5, 30, 8000, 1), -6.02},
      // A quarter of the rate at 45 degrees: every sample at 0.707 of the wave's peak, which lies between.
      {"12 kHz between samples", Faded(Sine(48000, 3 * 48000, 12000, 0.5, 1, std::numbers::pi / 4)),
       SineLoudness(0.5, 12000, 48000, 1), -6.02},
      // 2 s at -20 dB and 10 s 30 dB lower: the relative gate keeps the 17 loud blocks and the 3 that
      // overlap the change (3/4, 1/2, 1/4 loud), -20 + 10 log10(18.5 / 20).
      {"loud then quiet", LoudThenQuiet, -20.34, -20.0},
      {"silence", Silence(44100, 44100, 2), std::nullopt, std::nullopt},
      {"shorter than a block", Faded(Sine(48000, 19000, 1000, 0.5)), std::nullopt, -6.02},
  };
  for (auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    const TLoudness L = MeasureLoudness(C.Sound);
    ASSERT_EQ(L.Integrated.has_value(), C.Integrated.has_value());
    if (C.Integrated) {
      EXPECT_NEAR(*L.Integrated, *C.Integrated, 0.02);
    }
    ASSERT_EQ(L.TruePeak.has_value(), C.TruePeak.has_value());
    if (C.TruePeak) {
      EXPECT_NEAR(*L.TruePeak, *C.TruePeak, 0.05);
    }
  }
  const TLoudness Between = MeasureLoudness(Cases[7].Sound);
  EXPECT_NEAR(*Between.SamplePeak, -9.03, 0.01);
  EXPECT_THROW(MeasureLoudness(Sine(4000, 4000, 100, 0.5)), EConvertError);
}

TEST(Loudness, TruePeakBetweenSamplesIsFoundWhereverItLies) {
  // Quiet noise with one loud sample (0.4 of full scale) in the left channel, and a short burst of a
  // quarter-rate sine at 45 degrees (samples at 0.354, peaks of 0.5 between them) put in at different
  // places and channels: at the edges of the sound and across the points where the interpolation's work
  // is cut into blocks. The burst's samples are quieter than the loud one, its true peak is not, so a
  // block whose loudness is misjudged loses it.
  constexpr size_t kFrames = 4 * 1024 + 300, kBurst = 16;
  const TAudio Burst = Sine(48000, kBurst, 12000, 0.5, 1, std::numbers::pi / 4);
  struct {
    size_t At;
    unsigned Channel;
  } Cases[] = {{0, 0},    {0, 1},        {512 - kBurst / 2, 1}, {1024 - 7, 0},
               {2000, 1}, {4096 - 3, 0}, {kFrames - kBurst, 1}, {kFrames - kBurst, 0}};
  for (const auto& C : Cases) {
    SCOPED_TRACE("burst at " + std::to_string(C.At) + " in channel " + std::to_string(C.Channel));
    TAudio Sound = PinkNoise(48000, kFrames, 2, 0.02, 7);
    Sound.Samples[2 * 3000] = static_cast<int16_t>(0.4 * 32768);
    for (size_t N = 0; N < kBurst; ++N)
      Sound.Samples[2 * (C.At + N) + C.Channel] = Burst.Samples[N];
    EXPECT_NEAR(*Decibels(FindPeaks(Sound).Sample), -7.96, 0.01);
    EXPECT_NEAR(*Decibels(TruePeak(Sound)), -5.9, 0.03); // a little over 0.5 at the burst's edges
  }
}

TEST(Loudness, TruePeakIsTheSameWithAndWithoutAvx2) {
  // Lengths around the sixteen windows AVX2 takes at once and the eight of SSE2, so that every kind of
  // remainder is left over.
  const TAudio Sounds[] = {sxtest::Song(44100, 3), PinkNoise(48000, 48000 + 13, 2, 0.9, 3),
                           Sine(48000, 4 * 512 + 7, 12000, 0.5, 1, std::numbers::pi / 4), Chord(22050, 1000),
                           Sine(8000, 9, 1000, 0.8)};
  for (const TAudio& Sound : Sounds) {
    SCOPED_TRACE(std::to_string(Sound.Frames()) + " frames");
    EXPECT_EQ(TruePeak(Sound, TPeakSearch::Best), TruePeak(Sound, TPeakSearch::Pairs));
  }
}

// A gain's peak limit seeks the true peak only as high as the gain could take it past the ceiling, and
// decides as the whole search does: the same gain applied and held back, the peak given exactly when the
// gain reaches it, even a gain a hair either side of the one that puts the peak on the ceiling.
TEST(Loudness, GainSeeksThePeakOnlyWhereItMatters) {
  const TAudio Sounds[] = {Song(44100, 4), PinkNoise(48000, 48000 + 13, 2, 0.9, 3),
                           Sine(48000, 4 * 512 + 7, 12000, 0.5, 1, std::numbers::pi / 4),
                           Silence(22050, 5000, 2)};
  for (const TAudio& Sound : Sounds) {
    const double Peak = TruePeak(Sound);
    const std::optional<double> PeakDb = Decibels(Peak);
    const double AtCeiling = PeakDb ? kTruePeakCeilingDb - *PeakDb : 0;
    for (double Requested : {-20.0, 0.0, AtCeiling - 3, AtCeiling - 1e-12, AtCeiling, AtCeiling + 1e-12,
                             AtCeiling + 0.01, 30.0}) {
      SCOPED_TRACE(std::to_string(Sound.Frames()) + " frames, gain " + std::to_string(Requested));
      const TGainResult Whole = LimitGainDb(Requested, PeakDb), Sought = LimitGain(Requested, Sound);
      EXPECT_EQ(Sought.Applied, Whole.Applied);
      EXPECT_EQ(Sought.HeldBack, Whole.HeldBack);
      if (Sought.TruePeak) {
        EXPECT_EQ(*Sought.TruePeak, *PeakDb);
      }
      EXPECT_EQ(Sought.PeakUnderCeiling, PeakDb && !Sought.TruePeak);
    }
  }
}

// Pulls the number after Label out of the last summary FFmpeg's ebur128 filter printed; empty for "-inf".
std::optional<double> SummaryValue(const std::string& Log, const std::string& Label) {
  const size_t Summary = Log.rfind("Summary:");
  const size_t At = Summary == std::string::npos ? Summary : Log.find(Label, Summary);
  if (At == std::string::npos)
    throw std::runtime_error("no " + Label + " in FFmpeg's summary");
  const std::string Value = Log.substr(At + Label.size(), 16);
  if (Value.find("-inf") != std::string::npos)
    return std::nullopt;
  return std::stod(Value);
}

std::string ReadText(const std::string& Path) {
  const Bytes Data = fixtures::ReadFile(Path);
  return std::string(Data.begin(), Data.end());
}

// The value of "Key": in a one-line JSON object, empty for null.
std::optional<double> JsonValue(const std::string& Line, const std::string& Key) {
  const size_t At = Line.find("\"" + Key + "\":");
  if (At == std::string::npos)
    throw std::runtime_error("no " + Key + " in " + Line);
  const std::string Value = Line.substr(At + Key.size() + 3);
  if (Value.rfind("null", 0) == 0)
    return std::nullopt;
  return std::stod(Value);
}

// The lines of Text, without their ends (CR LF from a Windows program's standard output).
std::vector<std::string> Lines(const std::string& Text) {
  std::vector<std::string> Out;
  for (size_t Begin = 0, End; (End = Text.find('\n', Begin)) != std::string::npos; Begin = End + 1)
    Out.push_back(Text.substr(Begin, End - Begin - (End > Begin && Text[End - 1] == '\r')));
  return Out;
}

class FfmpegLoudness : public ::testing::Test {
protected:
  void SetUp() override {
    static const bool Available = sxtest::CanRun(kFfmpeg);
    if (!Available)
      GTEST_SKIP() << kFfmpeg << " cannot be started from this process (a native program, not under Wine)";
  }
  const std::string& kFfmpeg = sxtest::kFfmpeg;
  fixtures::TempDir Dir;
};

// The table of signals, measured in one run of the built program and by FFmpeg: integrated loudness within
// 0.1 LU, true peak within 0.3 dB (FFmpeg oversamples to 192 kHz, we by 4; FFmpeg prints one decimal).
TEST_F(FfmpegLoudness, MatchesFfmpegsEbur128) {
  struct {
    const char* Name;
    TAudio Sound;
  } Cases[] = {
      {"1 kHz 48k stereo", Sine(48000, 3 * 48000, 1000, 0.5, 2)},
      {"1 kHz 48k mono", Sine(48000, 3 * 48000, 1000, 0.25)},
      {"997 Hz 44.1k stereo", Sine(44100, 3 * 44100, 997, 0.7, 2)},
      {"100 Hz 22.05k mono", Sine(22050, 3 * 22050, 100, 0.5)},
      {"5 kHz 22.05k stereo", Sine(22050, 3 * 22050, 5000, 0.5, 2)},
      {"40 Hz 32k mono", Sine(32000, 3 * 32000, 40, 0.8)},
      {"12 kHz 48k between samples", Sine(48000, 2 * 48000, 12000, 0.9, 1, std::numbers::pi / 4)},
      {"11025 Hz 44.1k between samples", Sine(44100, 2 * 44100, 11025, 0.5, 2, std::numbers::pi / 4)},
      {"pink noise 48k stereo", PinkNoise(48000, 5 * 48000, 2, 0.5, 1)},
      {"pink noise 44.1k mono", PinkNoise(44100, 4 * 44100, 1, 0.9, 2)},
      {"silence", Silence(44100, 2 * 44100, 2)},
      {"song 44.1k", Song(44100, 10)},
      {"song 22.05k", Song(22050, 8)},
  };
  std::vector<std::string> Names;
  for (auto& C : Cases) {
    fixtures::WriteFile(Dir.File(std::string(C.Name) + ".wav"), WriteWave(Faded(C.Sound)));
    Names.push_back(C.Name);
  }
  // A song of the demo game, decoded from its archive by the converter.
  demo::MakeDemo(Dir.File("demo"));
  TEAStream Archive;
  Archive.LoadFromFile(Dir.File("demo/audio/frontend.big"));
  Names.push_back("demo song " + Archive.Files(0)->Name);
  Archive.Files(0)->SaveToFile(Dir.File("demo.asf"));
  ASSERT_EQ(sxtest::RunCommand("\"" + std::string(SX_PATH) + "\" -wave \"" + Dir.File("demo.asf") +
                               "\" -=\"" + Dir.File(Names.back() + ".wav") + "\""),
            0);
  std::string Inputs;
  for (const std::string& Name : Names)
    Inputs += " \"" + Dir.File(Name + ".wav") + "\"";
  const std::string Report = Dir.File("report.txt");
  ASSERT_EQ(
      sxtest::RunCommand("\"" + std::string(SX_PATH) + "\" -measure" + Inputs + " > \"" + Report + "\""), 0);
  const std::vector<std::string> Ours = Lines(ReadText(Report));
  ASSERT_EQ(Ours.size(), Names.size());
  std::printf("  %-32s %9s %9s   %9s %9s\n", "signal", "I ours", "FFmpeg", "TP ours", "FFmpeg");
  for (size_t I = 0; I < Names.size(); ++I) {
    SCOPED_TRACE(Names[I]);
    const std::string Wave = Dir.File(Names[I] + ".wav"), Log = Wave + ".log";
    ASSERT_EQ(sxtest::RunCommand(kFfmpeg + " -nostats -i \"" + Wave +
                                 "\" -filter_complex ebur128=peak=true -f null - 2> \"" + Log + "\""),
              0);
    const std::string Theirs = ReadText(Log);
    EXPECT_NE(Ours[I].find(Wave), std::string::npos);
    const std::optional<double> I1 = JsonValue(Ours[I], "integrated"), I2 = SummaryValue(Theirs, "I:");
    const std::optional<double> P1 = JsonValue(Ours[I], "truePeak"), P2 = SummaryValue(Theirs, "Peak:");
    std::printf("  %-32s %9s %9.1f   %9s %9s\n", Names[I].c_str(),
                I1 ? std::to_string(*I1).substr(0, 6).c_str() : "null", *I2,
                P1 ? std::to_string(*P1).substr(0, 6).c_str() : "null",
                P2 ? std::to_string(*P2).substr(0, 5).c_str() : "-inf");
    // FFmpeg floors what passes no gate at -70 LUFS; we report null.
    ASSERT_EQ(I1.has_value(), *I2 > -70);
    if (I1) {
      EXPECT_NEAR(*I1, *I2, 0.1);
    }
    ASSERT_EQ(P1.has_value(), P2.has_value());
    if (P1) {
      EXPECT_NEAR(*P1, *P2, 0.3);
    }
  }
}

// Every kind of input the converter reads, measured in one run of the built program and decoded and
// measured by FFmpeg: the length to the frame, the loudness within 0.1 LU and the true peak within 0.3 dB.
// FFmpeg's EA-XA decoder drops a last frame of 28 samples that the stream fills only in part, where the
// converter keeps the samples the header counts: that song's length is whole frames.
TEST_F(FfmpegLoudness, MeasuresEveryKindOfInputAsFfmpegDecodesIt) {
  // The MP3 is made 6 dB below full scale: its decoder gives 16-bit samples, FFmpeg's floats beyond 1.
  const std::string Source = Dir.File("source.wav");
  TAudio Lower = Faded(Song(44100, 5));
  for (int16_t& S : Lower.Samples)
    S = int16_t(S / 2);
  fixtures::WriteFile(Source, WriteWave(Lower));
  ASSERT_EQ(sxtest::RunCommand(kFfmpeg + " -v error -i \"" + Source + "\" -c:a libmp3lame -b:a 192k \"" +
                               Dir.File("song.mp3") + "\""),
            0);
  TAudio WholeFrames = Song(32000, 3);
  WholeFrames.Samples.resize(28 * 3428 * 2);
  const std::pair<std::string, Bytes> Inputs[] = {
      {"noise.wav", WriteWave(Faded(PinkNoise(48000, 3 * 48000 + 17, 2, 0.5, 7)))},
      {"sine.aif", WriteAiff(Faded(Sine(22050, 2 * 22050 + 5, 1000, 0.7)))},
      {"song.flac", WriteFlac(Faded(Song(44100, 4)))},
      {"song.asf", WriteEAStream(Faded(WholeFrames), TEACodec::EAXA)},
      {"chord.asf",
       WriteEAStream(Faded(Stereo(Chord(22050, 50001), Chord(22050, 50001))), TEACodec::PcmS16LE)},
      {"song.mp3", {}},
  };
  std::string Names;
  for (const auto& [Name, Data] : Inputs) {
    if (!Data.empty())
      fixtures::WriteFile(Dir.File(Name), Data);
    Names += " \"" + Dir.File(Name) + "\"";
  }
  const std::string Report = Dir.File("report.txt");
  ASSERT_EQ(sxtest::RunCommand("\"" + std::string(SX_PATH) + "\" -measure" + Names + " > \"" + Report + "\""),
            0);
  const std::vector<std::string> Ours = Lines(ReadText(Report));
  ASSERT_EQ(Ours.size(), std::size(Inputs));
  for (size_t I = 0; I < Ours.size(); ++I) {
    const std::string File = Dir.File(Inputs[I].first), Raw = File + ".raw", Log = File + ".log";
    SCOPED_TRACE(Ours[I]);
    ASSERT_EQ(sxtest::RunCommand(kFfmpeg + " -nostats -i \"" + File +
                                 "\" -filter_complex ebur128=peak=true -f null - 2> \"" + Log + "\""),
              0);
    ASSERT_EQ(sxtest::RunCommand(kFfmpeg + " -v error -i \"" + File + "\" -ac 1 -f s16le \"" + Raw + "\""),
              0);
    const std::string Theirs = ReadText(Log);
    EXPECT_EQ(*JsonValue(Ours[I], "frames"), double(fixtures::ReadFile(Raw).size() / 2));
    EXPECT_NEAR(*JsonValue(Ours[I], "integrated"), *SummaryValue(Theirs, "I:"), 0.1);
    EXPECT_NEAR(*JsonValue(Ours[I], "truePeak"), *SummaryValue(Theirs, "Peak:"), 0.3);
  }
}

// After a conversion with a gain, the decoded output is the input's loudness plus the gain, or, when the
// gain was held back, its true peak sits at -1 dBTP. Each format's encoder adds its own error to the peak.
TEST(Loudness, GainReachesItsLevelOrTheCeiling) {
  fixtures::TempDir Dir;
  struct {
    const char* Name;
    TAudio Sound;
    double Gain;
    std::vector<std::string> Format;
    bool HeldBack;
    double PeakTolerance;
  } Cases[] = {
      {"song down 3 dB", Song(44100, 6), -3, {"-wave"}, false, 0},
      {"song up as far as it goes", Song(44100, 6), 20, {"-wave"}, true, 0.01},
      {"pink noise down", PinkNoise(48000, 3 * 48000, 2, 0.9, 3), -7.5, {"-aiff"}, false, 0},
      {"pink noise up", PinkNoise(48000, 3 * 48000, 2, 0.3, 3), 12, {"-pcstream", "-s16l_blk"}, true, 0.01},
      {"sine between samples",
       Sine(48000, 48000, 12000, 0.5, 1, std::numbers::pi / 4),
       5,
       {"-wave"},
       true,
       0.01},
      {"sine up a little", Sine(22050, 44100, 440, 0.25, 2), 4.5, {"-pcstream", "-eaxa_blk"}, false, 0},
      {"chord up into the ceiling",
       Stereo(Chord(22050, 66150), Chord(22050, 66150)),
       9,
       {"-pcstream", "-eaxa_blk"},
       true,
       0.3},
      {"at the ceiling already", Sine(44100, 44100, 1000, 0.99, 2), 0, {"-wave"}, true, 0.01},
  };
  for (auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    const std::string In = Dir.File(std::string(C.Name) + ".wav"),
                      Out = Dir.File(std::string(C.Name) + ".out");
    fixtures::WriteFile(In, WriteWave(C.Sound));
    std::vector<std::string> Arguments = C.Format;
    Arguments.insert(Arguments.end(), {"-gain=" + std::to_string(C.Gain), In, "-=" + Out});
    std::string StdOut, StdErr;
    ASSERT_EQ(RunConverter(Arguments, StdOut, StdErr), 0) << StdErr;
    EXPECT_EQ(StdOut.find("\"heldBack\":" + std::string(C.HeldBack ? "true" : "false")) != std::string::npos,
              true)
        << StdOut;
    const TLoudness Before = MeasureLoudness(C.Sound),
                    After = MeasureLoudness(ReadAudio(fixtures::ReadFile(Out)));
    const double Applied = *JsonValue(StdOut, "gainApplied");
    if (C.HeldBack) {
      EXPECT_LT(Applied, C.Gain);
      EXPECT_NEAR(*After.TruePeak, kTruePeakCeilingDb, C.PeakTolerance + 0.01);
      EXPECT_NEAR(*After.Integrated, *Before.Integrated + Applied, 0.1);
    } else {
      EXPECT_EQ(Applied, C.Gain);
      EXPECT_NEAR(*After.Integrated, *Before.Integrated + C.Gain, 0.1);
      EXPECT_LE(*After.TruePeak, kTruePeakCeilingDb + 0.3);
    }
  }
}

// -loudness=<LUFS> is -measure followed by -gain with the gain that reaches the target, in one run: the
// same output bytes, the same report, the loudness added. Silence and a sound too short to measure keep
// their level whatever their peak; a rate the measure does not take is refused.
TEST(Loudness, LoudnessOptionIsTheMeasureThenItsGain) {
  fixtures::TempDir Dir;
  struct {
    const char* Name;
    TAudio Sound;
    double Target;
    std::vector<std::string> Format;
  } Cases[] = {
      {"quiet song raised", Song(44100, 5), -14, {"-pcstream", "-eaxa_blk"}},
      {"loud noise lowered", PinkNoise(48000, 2 * 48000, 2, 0.9, 5), -30, {"-wave"}},
      {"quiet chord held back",
       Stereo(Chord(22050, 44100), Chord(22050, 44100)),
       5,
       {"-pcstream", "-eaxa_blk"}},
      {"target far below", Sine(32000, 32000, 440, 0.5, 2), -70, {"-aiff"}},
      {"silence", Silence(22050, 44100, 2), -14, {"-pcstream", "-eaxa_blk"}},
      {"too short, loud", Sine(44100, 8000, 1000, 0.99), -30, {"-wave"}},
  };
  for (auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    const std::string In = Dir.File(std::string(C.Name) + ".wav");
    fixtures::WriteFile(In, WriteWave(C.Sound));
    auto Run = [&](const std::string& Option, const std::string& Out, std::string& Report) {
      std::vector<std::string> Arguments = C.Format;
      if (!Option.empty())
        Arguments.push_back(Option);
      Arguments.insert(Arguments.end(), {In, "-=" + Out});
      std::string Errors;
      Report.clear();
      ASSERT_EQ(RunConverter(Arguments, Report, Errors), 0) << Errors;
    };
    std::string Matched, Gained, Plain;
    Run("-loudness=" + std::to_string(C.Target), Dir.File("matched"), Matched);
    const TLoudness Before = MeasureLoudness(C.Sound);
    EXPECT_EQ(JsonValue(Matched, "integrated").has_value(), Before.Integrated.has_value()) << Matched;
    if (!Before.Integrated) {
      Run("", Dir.File("plain"), Plain);
      EXPECT_EQ(fixtures::ReadFile(Dir.File("matched")), fixtures::ReadFile(Dir.File("plain")));
      EXPECT_EQ(*JsonValue(Matched, "gainApplied"), 0);
      EXPECT_NE(Matched.find("\"heldBack\":false"), std::string::npos) << Matched;
      continue;
    }
    EXPECT_NEAR(*JsonValue(Matched, "integrated"), *Before.Integrated, 0.005);
    const double Gain = GainTowards(C.Target, *Before.Integrated);
    EXPECT_NEAR(*JsonValue(Matched, "gainRequested"), Gain, 1e-6);
    char Option[32];
    std::snprintf(Option, sizeof Option, "-gain=%.2f", Gain);
    Run(Option, Dir.File("gained"), Gained);
    EXPECT_EQ(fixtures::ReadFile(Dir.File("matched")), fixtures::ReadFile(Dir.File("gained")));
    // The reports differ in the output's name and the loudness only.
    const size_t From = Matched.find(",\"integrated\":"), To = Matched.find(",\"gainRequested\"");
    ASSERT_TRUE(From != std::string::npos && To != std::string::npos) << Matched;
    EXPECT_EQ(Matched.substr(To), Gained.substr(Gained.find(",\"gainRequested\""))) << Gained;
  }
  const std::string Low = Dir.File("low.wav");
  fixtures::WriteFile(Low, WriteWave(Sine(6000, 12000, 440, 0.5)));
  std::string Out, Errors;
  EXPECT_EQ(RunConverter({"-wave", "-loudness=-14", Low, "-=" + Dir.File("low.out")}, Out, Errors), 2);
  EXPECT_NE(Errors.find("8000 Hz"), std::string::npos) << Errors;
  EXPECT_FALSE(platform::IsFile(Dir.File("low.out")));
}

// A gain's samples round to the nearest value, halves away from zero, then clamp to 16 bits, on every
// platform alike (one C runtime's llround rounds the largest double below a half up).
TEST(Loudness, GainRoundsHalvesAwayFromZero) {
  const std::pair<double, int16_t> Cases[] = {{0.5, 1},
                                              {-0.5, -1},
                                              {1.5, 2},
                                              {2.5, 3},
                                              {-2.5, -3},
                                              {2.4999, 2},
                                              {-2.5001, -3},
                                              {0.49999999999999994, 0},
                                              {-0.49999999999999994, 0},
                                              {32766.5, 32767},
                                              {32767.5, 32767},
                                              {-32768.5, -32768},
                                              {1e9, 32767},
                                              {-1e9, -32768},
                                              {-0.0, 0}};
  for (const auto& [Value, Rounded] : Cases)
    EXPECT_EQ(Round16(Value), Rounded) << Value;
  // A gain rounds every sample so, whatever the factor: every 16-bit value, raised and lowered, in a long
  // sound (more samples than values) and in a short one (one past the four taken at once).
  TAudio Every, Short;
  Every.SampleRate = Short.SampleRate = 44100;
  Every.Channels = Short.Channels = 1;
  for (int V = -32768; V <= 32767; ++V)
    Every.Samples.push_back(static_cast<int16_t>(V));
  Every.Samples.push_back(-32768);
  for (size_t N = 0; N < Every.Samples.size(); N += 16)
    Short.Samples.push_back(Every.Samples[N]);
  Short.Samples.insert(Short.Samples.end(), {32767, 1, -1});
  for (const TAudio* Sound : {&Every, &Short})
    for (double Db : {-60.0, -6.0206, -0.01, 0.01, 3.52182518, 6.0206, 60.0}) {
      TAudio Gained = *Sound;
      TGainResult Gain;
      Gain.Applied = Db;
      ApplyGain(Gained, Gain);
      const double Factor = std::pow(10.0, Db / 20);
      for (size_t N = 0; N < Sound->Samples.size(); ++N)
        if (Gained.Samples[N] != Round16(Sound->Samples[N] * Factor)) {
          ADD_FAILURE() << Sound->Samples[N] << " at " << Db << " dB in " << Sound->Samples.size();
          break;
        }
    }
}

// Without a gain, every output is the bytes the converter made before gains existed: the reader's sound
// written by the writer untouched; a gain of 0 dB below the ceiling changes nothing either.
TEST(Loudness, WithoutGainTheOutputIsUnchanged) {
  fixtures::TempDir Dir;
  const TAudio Sound = Stereo(Chord(22050, 30000), Chirp(22050, 30000, 100, 8000, 0.4));
  const std::string In = Dir.File("in.wav");
  fixtures::WriteFile(In, WriteWave(Sound));
  const std::vector<std::vector<std::string>> Formats = {{"-wave"},
                                                         {"-aiff"},
                                                         {"-pcstream", "-eaxa_blk"},
                                                         {"-pcstream", "-s16l_blk"},
                                                         {"-pcstream", "-s8_blk"},
                                                         {"-pcstream", "-mt_blk"},
                                                         {"-pcstream", "-mt5_blk"}};
  for (const auto& Format : Formats) {
    SCOPED_TRACE(Format.back());
    std::vector<std::string> Plain = Format, Zero = Format;
    Plain.insert(Plain.end(), {In, "-=" + Dir.File("plain")});
    Zero.insert(Zero.end(), {"-gain=0", In, "-=" + Dir.File("zero")});
    std::string StdOut, StdErr;
    ASSERT_EQ(RunConverter(Plain, StdOut, StdErr), 0);
    EXPECT_EQ(StdOut, "");
    ASSERT_EQ(RunConverter(Zero, StdOut, StdErr), 0);
    const Bytes Output = fixtures::ReadFile(Dir.File("plain"));
    EXPECT_EQ(Output, WriteAudio(Sound, ParseCommand(Plain)));
    EXPECT_EQ(Output, fixtures::ReadFile(Dir.File("zero")));
  }
}

// One line per input from one run of the program, in order, an unreadable input's line holding its error;
// the lines end in the length in frames and the codec.
TEST(Loudness, MeasuresSeveralInputsInOneRun) {
  fixtures::TempDir Dir;
  const std::string A = Dir.File("a song.wav"), B = Dir.File("missing.wav");
  fixtures::WriteFile(A, WriteWave(Sine(48000, 48000, 1000, 0.1, 2)));
  fixtures::WriteFile(Dir.File("b.wav"), WriteWave(Silence(22050, 30000)));
  std::string Out, Err;
  EXPECT_EQ(RunConverter({"-measure", A, B, Dir.File("b.wav")}, Out, Err), 2);
  const std::vector<std::string> L = Lines(Out);
  ASSERT_EQ(L.size(), 3u) << Out;
  EXPECT_EQ(L[0].find("{\"input\":" + JsonString(A) + ",\"integrated\":"), 0u) << L[0];
  EXPECT_NEAR(*JsonValue(L[0], "integrated"), -20.0, 0.02);
  EXPECT_NEAR(*JsonValue(L[0], "truePeak"), -20.0, 0.02);
  EXPECT_NE(
      L[0].find("\"sampleRate\":48000,\"channels\":2,\"seconds\":1.000,\"frames\":48000,\"codec\":\"PCM\"}"),
      std::string::npos)
      << L[0];
  EXPECT_EQ(L[1].find("{\"input\":" + JsonString(B) + ",\"error\":\"Cannot open file"), 0u) << L[1];
  EXPECT_EQ(L[2], "{\"input\":" + JsonString(Dir.File("b.wav")) +
                      ",\"integrated\":null,\"truePeak\":null,\"samplePeak\":null,\"sampleRate\":22050,"
                      "\"channels\":1,\"seconds\":1.361,\"frames\":30000,\"codec\":\"PCM\"}");
  // The built program, as the editor runs it.
  const std::string Report = Dir.File("report.txt");
  ASSERT_EQ(sxtest::RunCommand("\"" + std::string(SX_PATH) + "\" -measure \"" + A + "\" \"" +
                               Dir.File("b.wav") + "\" > \"" + Report + "\""),
            0);
  EXPECT_EQ(Lines(ReadText(Report)).size(), 2u);
  EXPECT_EQ(Lines(ReadText(Report))[1], L[2]);
  // A FLAC file of the first sound measures as its Wave file does.
  const std::string Flac = Dir.File("a song.flac");
  fixtures::WriteFile(Flac, WriteFlac(Sine(48000, 48000, 1000, 0.1, 2)));
  Out.clear();
  ASSERT_EQ(RunConverter({"-measure", Flac}, Out, Err), 0) << Err;
  const std::string Measures = L[0].substr(L[0].find(",\"integrated\""));
  EXPECT_EQ(Out,
            "{\"input\":" + JsonString(Flac) + Measures.substr(0, Measures.find("\"PCM\"")) + "\"FLAC\"}\n");
}

} // namespace
