#pragma once
// True peak: the largest magnitude of the sound between its samples as well as at them, found by 4x
// oversampling through an interpolating FIR filter and taking the largest absolute value of any channel.

#include "converter/Audio.h"

namespace sx {

// The true peak of Audio as a fraction of full scale (32768), 0 for silence or no samples.
double TruePeak(const TAudio& Audio);

// The largest absolute sample as a fraction of full scale.
double SamplePeak(const TAudio& Audio);

} // namespace sx
