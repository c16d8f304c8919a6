#include "converter/analysis/KWeighting.h"

#include <cmath>
#include <numbers>

namespace sx {
namespace {

// The analogue prototypes' parameters: the shelf's centre, gain and quality, the high pass's corner and
// quality. With these the bilinear transform at 48 kHz gives the published 48 kHz coefficients.
constexpr double kShelfHz = 1681.974450955533;
constexpr double kShelfGainDb = 3.999843853973347;
constexpr double kShelfQ = 0.7071752369554196;
constexpr double kShelfBandExponent = 0.4996667741545416;
constexpr double kHighPassHz = 38.13547087602444;
constexpr double kHighPassQ = 0.5003270373238773;

// tan(pi f / rate): the prewarped frequency of the bilinear transform.
double Warp(double Hz, uint32_t SampleRate) {
  return std::tan(std::numbers::pi * Hz / SampleRate);
}

} // namespace

TBiquad KWeightingShelf(uint32_t SampleRate) {
  const double K = Warp(kShelfHz, SampleRate), Q = kShelfQ;
  const double High = std::pow(10.0, kShelfGainDb / 20); // gain far above the shelf
  const double Band = std::pow(High, kShelfBandExponent);
  const double A0 = 1 + K / Q + K * K;
  TBiquad F;
  F.B0 = (High + Band * K / Q + K * K) / A0;
  F.B1 = 2 * (K * K - High) / A0;
  F.B2 = (High - Band * K / Q + K * K) / A0;
  F.A1 = 2 * (K * K - 1) / A0;
  F.A2 = (1 - K / Q + K * K) / A0;
  return F;
}

TBiquad KWeightingHighPass(uint32_t SampleRate) {
  const double K = Warp(kHighPassHz, SampleRate), Q = kHighPassQ;
  const double A0 = 1 + K / Q + K * K;
  TBiquad F;
  // The numerator stays 1, -2, 1, unnormalised, as in the published 48 kHz coefficients that the
  // measure's -0.691 dB offset assumes.
  F.B0 = 1;
  F.B1 = -2;
  F.B2 = 1;
  F.A1 = 2 * (K * K - 1) / A0;
  F.A2 = (1 - K / Q + K * K) / A0;
  return F;
}

} // namespace sx
