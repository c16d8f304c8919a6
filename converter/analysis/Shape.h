#pragma once
// Trim and fade-out of a decoded sound, made before its level changes: the part from Start to End is kept,
// then its last FadeOut seconds fall smoothly to silence. A cut inside the sound would jump from silence
// to the wave or from the wave to silence, which is heard as a click: a cut start rises and a cut end
// falls over kCutFadeSeconds at least.

#include "converter/Audio.h"

#include <optional>

namespace sx {

// The longest time the options take (seconds): a day, beyond any song.
constexpr double kMaxShapeSeconds = 86400;
constexpr double kCutFadeSeconds = 0.005;

struct TShape {
  std::optional<double> Start, End, FadeOut; // seconds; End after Start
  bool Empty() const { return !Start && !End && !FadeOut; }
};

// Keeps the frames from Start to End (each rounded to the nearest frame; an End past the sound's end is its
// end) and fades them out over their last FadeOut seconds (all of them when they are shorter): the gain
// falls as half a cosine wave, from 1 to 0 at the last frame, so that the last frames are silent. An empty
// Shape leaves Audio as it is. Raises EConvertError, naming the times, for a Start at or past the sound's
// end, or a Start and End that keep no frame.
void ShapeAudio(TAudio& Audio, const TShape& Shape);

} // namespace sx
