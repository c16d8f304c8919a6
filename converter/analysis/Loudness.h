#pragma once
// Integrated loudness and true peak of a whole sound, as loudness meters for broadcast measure them:
// K-weighted mean square per channel over blocks of 400 ms that start every 100 ms, summed over the
// channels (each weighted 1: the converter's sounds are mono or stereo), gated first absolutely at
// -70 LUFS and then at 10 LU below the loudness of the blocks that passed.

#include "converter/Audio.h"

#include <optional>

namespace sx {

struct TLoudness {
  // LUFS; empty when no block passes the absolute gate: silence, or a sound shorter than one block.
  std::optional<double> Integrated;
  // dBTP and dBFS; empty for a sound without a sample other than zero.
  std::optional<double> TruePeak;
  std::optional<double> SamplePeak;
};

// Raises EConvertError for a sample rate under kMinLoudnessRate, where the K-weighting's shelf lies
// beyond the sound's highest frequency.
constexpr uint32_t kMinLoudnessRate = 8000;
TLoudness MeasureLoudness(const TAudio& Audio);
// The integrated loudness alone, refusing the same rates.
std::optional<double> IntegratedLoudness(const TAudio& Audio);

// A fraction of full scale in decibels, empty for 0.
std::optional<double> Decibels(double Fraction);

} // namespace sx
