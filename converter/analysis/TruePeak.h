#pragma once
// True peak: the largest magnitude of the sound between its samples as well as at them, found by 4x
// oversampling through an interpolating FIR filter and taking the largest absolute value of any channel.

#include "converter/Audio.h"

#include <optional>

namespace sx {

// How the interpolation runs: Best with AVX2 where the processor has it, else as Pairs, two windows' sums in
// each SSE2 register. Both give the same peak.
enum class TPeakSearch { Best, Pairs };

// The true peak of Audio as a fraction of full scale (32768), 0 for silence or no samples.
double TruePeak(const TAudio& Audio, TPeakSearch Search = TPeakSearch::Best);

// Fractions of full scale: the largest absolute sample, and the true peak when it passes Above, else
// empty. Only the blocks of the sound loud enough to pass Above are interpolated, so a level far over the
// sound's costs one pass over its samples.
struct TPeaks {
  double Sample = 0;
  std::optional<double> True;
};
TPeaks FindPeaks(const TAudio& Audio, double Above = 0, TPeakSearch Search = TPeakSearch::Best);

} // namespace sx
