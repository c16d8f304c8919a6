#pragma once
// The outline of a sound for drawing it: the sound cut into slices of nearly equal length, and the smallest
// and largest sample of each slice in each channel.

#include "converter/Audio.h"

namespace sx {

// The most slices an envelope may have.
constexpr size_t kMaxEnvelopePoints = 100000;

struct TEnvelopePoint {
  int16_t Min = 0, Max = 0;
  bool operator==(const TEnvelopePoint&) const = default;
};

// One list of Points values per channel. Slice I holds the frames from I * Frames / Points up to
// (I + 1) * Frames / Points (rounded down); in a sound of fewer frames than points, a slice that would hold
// none takes the frame it starts at, and a sound without frames gives zeros.
std::vector<std::vector<TEnvelopePoint>> Envelope(const TAudio& Audio, size_t Points);

} // namespace sx
