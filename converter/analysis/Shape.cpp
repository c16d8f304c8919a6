#include "converter/analysis/Shape.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace sx {
namespace {

// The nearest frame to a time, at most Limit (a day at a megahertz passes 32 bits).
size_t FrameAt(double Seconds, uint32_t Rate, size_t Limit) {
  return static_cast<size_t>(std::min<uint64_t>(Limit, static_cast<uint64_t>(std::llround(Seconds * Rate))));
}

std::string SecondsText(double Seconds) {
  char Text[32];
  std::snprintf(Text, sizeof Text, "%.3f s", Seconds);
  return Text;
}

// Scales Length frames from First by a half cosine wave: rising from 0 at the first frame towards 1, or
// falling from near 1 to 0 at the last frame.
void Ramp(TAudio& Audio, size_t First, size_t Length, bool Rising) {
  for (size_t N = 0; N < Length; ++N) {
    const size_t FromSilence = Rising ? N : Length - 1 - N;
    const double Gain = (1 - std::cos(std::numbers::pi * double(FromSilence) / double(Length))) / 2;
    int16_t* Frame = Audio.Samples.data() + (First + N) * Audio.Channels;
    for (unsigned C = 0; C < Audio.Channels; ++C)
      Frame[C] = Round16(Frame[C] * Gain);
  }
}

} // namespace

void ShapeAudio(TAudio& Audio, const TShape& Shape) {
  if (Shape.Empty())
    return;
  const size_t Frames = Audio.Frames();
  const size_t Start = Shape.Start ? FrameAt(*Shape.Start, Audio.SampleRate, Frames) : 0;
  const size_t End = Shape.End ? FrameAt(*Shape.End, Audio.SampleRate, Frames) : Frames;
  if (Shape.Start && Start >= Frames)
    throw EConvertError("The start (" + SecondsText(*Shape.Start) + ") lies at or past the song's end (" +
                        SecondsText(double(Frames) / Audio.SampleRate) + ")");
  if (Frames == 0)
    return;         // nothing to fade
  if (End <= Start) // only a given end lies at or before the start
    throw EConvertError("Nothing of the song lies between the start (" +
                        SecondsText(Shape.Start.value_or(0)) + ") and the end (" +
                        SecondsText(Shape.End.value_or(0)) + ")");
  Audio.Samples.erase(Audio.Samples.begin() + End * Audio.Channels, Audio.Samples.end());
  Audio.Samples.erase(Audio.Samples.begin(), Audio.Samples.begin() + Start * Audio.Channels);
  const size_t Kept = End - Start, CutFade = FrameAt(kCutFadeSeconds, Audio.SampleRate, Kept);
  if (Start > 0)
    Ramp(Audio, 0, CutFade, true);
  size_t Fade = Shape.FadeOut ? FrameAt(*Shape.FadeOut, Audio.SampleRate, Kept) : 0;
  if (End < Frames)
    Fade = std::max(Fade, CutFade);
  Ramp(Audio, Kept - Fade, Fade, false);
}

} // namespace sx
