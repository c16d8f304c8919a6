// Trim and fade-out on the way through the converter: -start=, -end=, -fade-out=.
#include "converter/Converter.h"
#include "converter/analysis/Loudness.h"
#include "converter/formats/WaveWriter.h"
#include "tests/converter/Signals.h"
#include "tests/fixtures/TestFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace sx;
using namespace sxtest;

namespace {

// The largest magnitude of channel 0 in Audio's frames [From, To).
int LargestIn(const TAudio& Audio, size_t From, size_t To) {
  int Most = 0;
  for (size_t F = From; F < To; ++F)
    Most = std::max(Most, std::abs(int(Audio.Samples[F * Audio.Channels])));
  return Most;
}

// The largest step between neighbouring samples of any channel, silence before and after included.
int LargestStep(const TAudio& Audio) {
  int Most = 0;
  for (size_t I = 0; I < Audio.Samples.size() + Audio.Channels; ++I) {
    const int Now = I < Audio.Samples.size() ? Audio.Samples[I] : 0;
    const int Before = I >= Audio.Channels ? Audio.Samples[I - Audio.Channels] : 0;
    Most = std::max(Most, std::abs(Now - Before));
  }
  return Most;
}

// At several rates, the song kept is the frames from the start to the end, each rounded to the nearest
// frame, untouched between the fades; the fade-out ends in silent frames; and the cuts, made where the
// 250 Hz wave is at its peak, step no more than the wave does (within the half cosine's own slope).
TEST(Shape, TrimsToTheFrameAndFadesWithoutAClick) {
  fixtures::TempDir Dir;
  struct {
    uint32_t Rate;
    std::vector<std::string> Options;
    double Start, End, Fade; // seconds; End past the song: to its end
  } Cases[] = {
      {8000, {"-start=0.501", "-end=2.249"}, 0.501, 2.249, 0},
      {22050, {"-fade-out=1"}, 0, 9, 1},
      {44100, {"-start=1.001", "-end=2.5", "-fade-out=0.5"}, 1.001, 2.5, 0.5},
      {48000, {"-fade-out=0.3", "-end=10", "-start=0.0010104"}, 0.0010104, 9, 0.3},
      {32000, {"-end=1.0011", "-pcstream"}, 0, 1.0011, 0},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(::testing::PrintToString(C.Options));
    const TAudio Song = Sine(C.Rate, 3 * C.Rate, 250, 0.9, 2);
    const std::string In = Dir.File("in.wav"), Out = Dir.File("out");
    fixtures::WriteFile(In, WriteWave(Song));
    std::vector<std::string> Arguments = C.Options;
    Arguments.insert(Arguments.end(),
                     {Arguments.back() == "-pcstream" ? "-s16l_blk" : "-wave", In, "-=" + Out});
    std::string Report, Err;
    ASSERT_EQ(RunConverter(Arguments, Report, Err), 0) << Err;
    const TAudio Kept = ReadAudio(fixtures::ReadFile(Out));
    const size_t First = size_t(std::llround(C.Start * C.Rate));
    const size_t Last = std::min(Song.Frames(), size_t(std::llround(C.End * C.Rate)));
    ASSERT_EQ(Kept.Frames(), Last - First);
    const size_t Ramp = C.Rate / 200,
                 Fade = std::max(size_t(C.Fade * C.Rate), Last < Song.Frames() ? Ramp : 0);
    const size_t Untouched = First > 0 ? Ramp : 0;
    EXPECT_TRUE(std::equal(Kept.Samples.begin() + Untouched * 2, Kept.Samples.end() - Fade * 2,
                           Song.Samples.begin() + (First + Untouched) * 2));
    if (First > 0 || Last < Song.Frames()) {
      EXPECT_GT(std::abs(Song.Samples[(First > 0 ? First : Last - 1) * 2]), 29000); // a cut at the peak
    }
    // The wave's own step, the half cosine's steepest step at the wave's peak, and rounding.
    const int WaveStep =
        LargestStep(Song) + int(std::ceil(std::numbers::pi / 2 / double(Ramp) * 0.9 * 32767)) + 2;
    EXPECT_LE(LargestStep(Kept), WaveStep);
    if (C.Fade > 0) {
      // Silent at its end, halfway down at its middle, full at its start.
      EXPECT_EQ(LargestIn(Kept, Kept.Frames() - 10, Kept.Frames()), 0);
      const size_t Middle = Kept.Frames() - Fade / 2, Period = C.Rate / 250;
      EXPECT_NEAR(LargestIn(Kept, Middle - Period / 2, Middle + Period / 2), 0.9 * 32767 / 2,
                  0.9 * 32767 * 0.02);
      EXPECT_GT(LargestIn(Kept, Kept.Frames() - Fade, Kept.Frames() - Fade + Period), 0.99 * 0.9 * 32767);
    }
  }
}

// The loudness a song is brought to is that of the part kept: a loud intro cut off does not count.
TEST(Shape, LoudnessIsThatOfThePartKept) {
  fixtures::TempDir Dir;
  TAudio Song = Sine(44100, 2 * 44100, 1000, 0.9, 2);
  const TAudio Quiet = Sine(44100, 4 * 44100, 1000, 0.05, 2);
  Song.Samples.insert(Song.Samples.end(), Quiet.Samples.begin(), Quiet.Samples.end());
  fixtures::WriteFile(Dir.File("in.wav"), WriteWave(Song));
  std::string Report, Err;
  ASSERT_EQ(
      RunConverter({"-wave", "-start=2.5", "-loudness=-20", Dir.File("in.wav"), "-=" + Dir.File("out.wav")},
                   Report, Err),
      0)
      << Err;
  EXPECT_NEAR(*MeasureLoudness(ReadAudio(fixtures::ReadFile(Dir.File("out.wav")))).Integrated, -20, 0.05);
  EXPECT_NE(Report.find("\"heldBack\":false"), std::string::npos) << Report;
}

// Times and points that make no sense are refused with a message naming the option; nothing is written.
TEST(Shape, RefusesNonsenseWithItsReason) {
  fixtures::TempDir Dir;
  const std::string In = Dir.File("in.wav"), Out = Dir.File("out.wav");
  fixtures::WriteFile(In, WriteWave(Sine(22050, 22050 * 2, 440, 0.5)));
  const std::pair<std::vector<std::string>, std::string> Bad[] = {
      {{"-start=-1"}, "Times must be a number of seconds from 0 to 86400: -start=-1"},
      {{"-end=abc"}, "Times must be a number of seconds from 0 to 86400: -end=abc"},
      {{"-fade-out=86400.5"}, "Times must be a number of seconds from 0 to 86400: -fade-out=86400.5"},
      {{"-fade-out=1e3"}, "Times must be a number of seconds from 0 to 86400: -fade-out=1e3"},
      {{"-start=1", "-start=2"}, "More than one -start given"},
      {{"-start=1.5", "-end=1.5"}, "-end must come after -start"},
      {{"-start=2"}, "The start (2.000 s) lies at or past the song's end (2.000 s)"},
      {{"-start=1", "-end=1.00001"},
       "Nothing of the song lies between the start (1.000 s) and the end (1.000 s)"},
      {{"-end=0.00001"}, "Nothing of the song lies between the start (0.000 s) and the end (0.000 s)"},
      {{"-points=10"}, "-points needs -measure"},
      {{"-measure", "-points=0"}, "The points must be a whole number from 1 to 100000: -points=0"},
      {{"-measure", "-points=100001"}, "The points must be a whole number from 1 to 100000: -points=100001"},
      {{"-measure", "-points=1.5"}, "The points must be a whole number from 1 to 100000: -points=1.5"},
      {{"-measure", "-points=-3"}, "The points must be a whole number from 1 to 100000: -points=-3"},
      {{"-measure", "-points=5", "-points=5"}, "More than one -points given"},
      {{"-tags", "-points=5"}, "-points needs -measure"},
      {{"-measure", "-start=1"}, "-measure and -tags take input files only, not -start=1"},
  };
  for (const auto& [Options, Message] : Bad) {
    std::vector<std::string> Arguments = Options;
    if (Options[0] != "-measure" && Options[0] != "-tags")
      Arguments.insert(Arguments.begin(), "-wave");
    Arguments.insert(Arguments.end(), {In, "-=" + Out});
    if (Options[0] == "-measure" || Options[0] == "-tags")
      Arguments.pop_back();
    std::string Report, Err;
    EXPECT_EQ(RunConverter(Arguments, Report, Err), 2);
    EXPECT_EQ(Err, "sx: " + Message + "\n");
    EXPECT_FALSE(fixtures::FileExists(Out));
  }
  const TCommand Given = ParseCommand({"-pcstream", "-end=12.75", "-fade-out=0.5", "i", "-=o"});
  EXPECT_TRUE(!Given.Shape.Start && Given.Shape.End == 12.75 && Given.Shape.FadeOut == 0.5);
  EXPECT_EQ(ParseCommand({"-measure", "-points=1000", "a"}).Points, 1000u);
}

} // namespace
