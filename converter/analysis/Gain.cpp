#include "converter/analysis/Gain.h"

#include "converter/analysis/Loudness.h"

#include <algorithm>
#include <cmath>

namespace sx {

TGainResult LimitGain(double Requested, double TruePeak) {
  return LimitGainDb(Requested, Decibels(TruePeak));
}

TGainResult LimitGainDb(double Requested, std::optional<double> TruePeakDb) {
  TGainResult R;
  R.Requested = Requested;
  R.Applied = Requested;
  R.TruePeak = TruePeakDb;
  if (R.TruePeak && *R.TruePeak + Requested > kTruePeakCeilingDb) {
    R.Applied = kTruePeakCeilingDb - *R.TruePeak;
    R.HeldBack = true;
  }
  return R;
}

double GainTowards(double Target, double Integrated) {
  return std::clamp(std::round((Target - Integrated) * 100) / 100, -kMaxGainDb, kMaxGainDb);
}

void ApplyGain(TAudio& Audio, const TGainResult& Result) {
  const double Factor = std::pow(10.0, Result.Applied / 20);
  for (int16_t& S : Audio.Samples)
    S = Round16(S * Factor);
}

} // namespace sx
