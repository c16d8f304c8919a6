#include "converter/analysis/Gain.h"

#include "converter/analysis/Loudness.h"

#include <cmath>

namespace sx {

TGainResult LimitGain(double Requested, double TruePeak) {
  TGainResult R;
  R.Requested = Requested;
  R.Applied = Requested;
  R.TruePeak = Decibels(TruePeak);
  if (R.TruePeak && *R.TruePeak + Requested > kTruePeakCeilingDb) {
    R.Applied = kTruePeakCeilingDb - *R.TruePeak;
    R.HeldBack = true;
  }
  return R;
}

void ApplyGain(TAudio& Audio, const TGainResult& Result) {
  const double Factor = std::pow(10.0, Result.Applied / 20);
  for (int16_t& S : Audio.Samples)
    S = Round16(S * Factor);
}

} // namespace sx
