#include "converter/analysis/Gain.h"

#include "converter/analysis/Loudness.h"
#include "converter/analysis/TruePeak.h"

#include <algorithm>
#include <cmath>

namespace sx {

TGainResult LimitGain(double Requested, double TruePeak) {
  return LimitGainDb(Requested, Decibels(TruePeak));
}

TGainResult LimitGain(double Requested, const TAudio& Audio) {
  // A hair under the level at which the peak meets the ceiling, so that every peak the comparison in
  // decibels holds back is found, however the conversions between the scales round.
  const double Level = std::pow(10.0, (kTruePeakCeilingDb - Requested) / 20) * (1 - 1e-9);
  const TPeaks Peaks = FindPeaks(Audio, Level);
  TGainResult R = LimitGainDb(Requested, Peaks.True ? Decibels(*Peaks.True) : std::nullopt);
  R.PeakUnderCeiling = !Peaks.True && Peaks.Sample > 0;
  return R;
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
