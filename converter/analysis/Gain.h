#pragma once
// A change of level applied to the decoded sound before it is encoded, which never lets the true peak
// pass a ceiling: a gain that would is reduced to the largest one that keeps the true peak at the
// ceiling (a plain gain, not a limiter, so the sound's dynamics stay as they were).

#include "converter/Audio.h"

#include <optional>

namespace sx {

constexpr double kTruePeakCeilingDb = -1.0;
constexpr double kMaxGainDb = 60.0; // either way

struct TGainResult {
  double Requested = 0; // dB
  double Applied = 0;   // dB, Requested or less
  bool HeldBack = false;
  // The input's true peak in dBTP, empty for silence.
  std::optional<double> TruePeak;
};

// The gain that Requested (dB) becomes for a sound whose true peak is TruePeak (fraction of full scale).
TGainResult LimitGain(double Requested, double TruePeak);

// Scales every sample by Result.Applied, rounding to the nearest 16-bit value.
void ApplyGain(TAudio& Audio, const TGainResult& Result);

} // namespace sx
