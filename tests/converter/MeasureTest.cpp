// What -measure says of a song besides its loudness: the codec it was stored in and an envelope for
// drawing it.
#include "converter/Converter.h"
#include "converter/Json.h"
#include "converter/analysis/Envelope.h"
#include "converter/formats/WaveWriter.h"
#include "tests/converter/Signals.h"
#include "tests/fixtures/TestFiles.h"

#include <gtest/gtest.h>

using namespace sx;
using namespace sxtest;

namespace sx {
void PrintTo(const TEnvelopePoint& P, std::ostream* Out) {
  *Out << "[" << P.Min << "," << P.Max << "]";
}
} // namespace sx

namespace {

// Frames whose samples are given per channel.
TAudio FromChannels(uint32_t Rate, const std::vector<std::vector<int16_t>>& Channels) {
  TAudio A;
  A.SampleRate = Rate;
  A.Channels = unsigned(Channels.size());
  for (size_t F = 0; F < Channels[0].size(); ++F)
    for (const auto& C : Channels)
      A.Samples.push_back(C[F]);
  return A;
}

std::vector<int16_t> Ramp(size_t Frames, int First, int Step) {
  std::vector<int16_t> Values;
  for (size_t F = 0; F < Frames; ++F)
    Values.push_back(int16_t(First + int(F) * Step));
  return Values;
}

// The text of "Key" in a one-line report, up to the next field or the end.
std::string FieldText(const std::string& Line, const std::string& Key) {
  const size_t At = Line.find("\"" + Key + "\":");
  if (At == std::string::npos)
    return "(none)";
  const size_t From = At + Key.size() + 3, To = Line.find(",\"", From);
  return Line.substr(From, (To == std::string::npos ? Line.rfind('}') : To) - From);
}

// Shapes whose envelope is known: each slice of a ramp runs from its first frame to its last, the slices
// of a burst after silence are silent up to the burst's own, and a sound shorter than the envelope repeats
// its frames.
TEST(Measure, EnvelopeFollowsShapesKnownBeforehand) {
  struct {
    const char* Name;
    TAudio Sound;
    size_t Points;
    std::vector<std::vector<TEnvelopePoint>> Expected;
  } Cases[] = {
      {"rising and falling ramps",
       FromChannels(8000, {Ramp(1000, -16000, 32), Ramp(1000, 9990, -10)}),
       4,
       {{{-16000, -8032}, {-8000, -32}, {0, 7968}, {8000, 15968}},
        {{7500, 9990}, {5000, 7490}, {2500, 4990}, {0, 2490}}}},
      {"uneven slices", FromChannels(8000, {Ramp(10, 0, 1)}), 3, {{{0, 2}, {3, 5}, {6, 9}}}},
      {"fewer frames than points",
       FromChannels(8000, {Ramp(3, 5, 1)}),
       5,
       {{{5, 5}, {5, 5}, {6, 6}, {6, 6}, {7, 7}}}},
      {"no frames", FromChannels(8000, {{}, {}}), 2, {{{0, 0}, {0, 0}}, {{0, 0}, {0, 0}}}},
  };
  for (const auto& C : Cases)
    EXPECT_EQ(Envelope(C.Sound, C.Points), C.Expected) << C.Name;
  // A second of silence, then a second of a full-scale square wave: the slices are silent up to the
  // burst's first, whose start it is.
  TAudio Burst = Silence(22050, 22050);
  const TAudio Loud = Square(22050, 22050, 441);
  Burst.Samples.insert(Burst.Samples.end(), Loud.Samples.begin(), Loud.Samples.end());
  const auto Slices = Envelope(Burst, 20);
  for (size_t I = 0; I < 20; ++I)
    EXPECT_EQ(Slices[0][I], (I < 10 ? TEnvelopePoint{0, 0} : TEnvelopePoint{-32767, 32767})) << I;
}

// The report names the codec each EA stream was made with and the plain formats by name, counts the
// frames, and gives the envelope, per channel, as [min,max] pairs only when asked for.
TEST(Measure, NamesTheCodecAndWritesTheEnvelope) {
  fixtures::TempDir Dir;
  const std::string Input = Dir.File("in.wav");
  fixtures::WriteFile(Input, WriteWave(FromChannels(22050, {Ramp(5000, -5000, 2), Ramp(5000, 100, 0)})));
  const std::pair<std::vector<std::string>, std::string> Formats[] = {
      {{"-pcstream", "-eaxa_blk"}, "EA-XA"},
      {{"-pcstream", "-mt_blk"}, "MicroTalk 10:1"},
      {{"-pcstream", "-mt5_blk"}, "MicroTalk 5:1"},
      {{"-pcstream", "-s16l_blk"}, "s16l"},
      {{"-pcstream", "-s8_blk"}, "s8"},
      {{"-wave"}, "PCM"},
      {{"-aiff"}, "PCM"},
      {{"-flac"}, "FLAC"},
  };
  for (const auto& [Format, Codec] : Formats) {
    std::vector<std::string> Arguments = Format;
    Arguments.insert(Arguments.end(), {Input, "-=" + Dir.File("out")});
    std::string Out, Err;
    ASSERT_EQ(RunConverter(Arguments, Out, Err), 0) << Err;
    ASSERT_EQ(RunConverter({"-measure", Dir.File("out")}, Out, Err), 0) << Err;
    EXPECT_EQ(FieldText(Out, "codec"), JsonString(Codec)) << Out;
    EXPECT_EQ(FieldText(Out, "frames"), "5000") << Out;
    EXPECT_EQ(FieldText(Out, "envelope"), "(none)") << Out;
  }
  std::string Out, Err;
  ASSERT_EQ(RunConverter({"-measure", "-points=2", Input}, Out, Err), 0) << Err;
  EXPECT_EQ(Out.substr(Out.find(",\"codec\"")),
            ",\"codec\":\"PCM\",\"envelope\":[[[-5000,-2],[0,4998]],[[100,100],[100,100]]]}\n");
}

} // namespace
