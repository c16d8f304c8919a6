#pragma once
// A change of level applied to the decoded sound before it is encoded, which never lets the true peak
// pass a ceiling: a gain that would is reduced to the largest one that keeps the true peak at the
// ceiling (a plain gain, not a limiter, so the sound's dynamics stay as they were).

#include "converter/Audio.h"

#include <optional>

namespace sx {

constexpr double kTruePeakCeilingDb = -1.0;
constexpr double kMaxGainDb = 60.0; // either way
// The loudness a sound can be brought to (LUFS): from the absolute gate to beyond any 16-bit sound.
constexpr double kLowestTargetLufs = -70.0, kHighestTargetLufs = 10.0;

struct TGainResult {
  double Requested = 0; // dB
  double Applied = 0;   // dB, Requested or less
  bool HeldBack = false;
  // The input's true peak in dBTP, empty for silence. When PeakUnderCeiling, the peak was sought only as
  // high as the gain could take it to the ceiling and lies lower: TruePeak is then empty too.
  std::optional<double> TruePeak;
  bool PeakUnderCeiling = false;
};

// The gain that Requested (dB) becomes for a sound whose true peak is TruePeak (fraction of full scale).
TGainResult LimitGain(double Requested, double TruePeak);
// The same for Audio, whose true peak is sought only where the gain could take it past the ceiling.
TGainResult LimitGain(double Requested, const TAudio& Audio);
// The same for a true peak in dBTP, empty for silence.
TGainResult LimitGainDb(double Requested, std::optional<double> TruePeakDb);

// The gain (dB) that takes a sound of loudness Integrated to Target (LUFS): rounded to 0.01 dB, as a
// -gain option carries it, and kept within -60 to 60 dB.
double GainTowards(double Target, double Integrated);

// Scales every sample by Result.Applied, rounding to the nearest 16-bit value.
void ApplyGain(TAudio& Audio, const TGainResult& Result);

} // namespace sx
