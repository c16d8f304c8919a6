#include "converter/analysis/TruePeak.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <vector>

namespace sx {
namespace {

constexpr int kFactor = 4;
// Taps per phase: each interpolated value is made from the 8 samples on either side of it.
constexpr int kTaps = 16;
constexpr int kHalf = kTaps / 2;
constexpr double kKaiserBeta = 7.0;

using TPhase = std::array<double, kTaps>;

// Zeroth-order modified Bessel function of the first kind, by its power series.
double BesselI0(double X) {
  double Sum = 1, Term = 1;
  for (int K = 1; K < 40; ++K) {
    Term *= (X / (2 * K)) * (X / (2 * K));
    Sum += Term;
  }
  return Sum;
}

// Windowed-sinc coefficients for the value at Phase / kFactor of a sample after the first of kHalf
// samples: tap T weighs the sample at offset T - kHalf + 1 from it. Each phase is scaled to unity gain at
// 0 Hz, so a constant stays constant.
TPhase MakePhase(int Phase) {
  TPhase Taps{};
  double Sum = 0;
  for (int T = 0; T < kTaps; ++T) {
    const double X = (T - kHalf + 1) - double(Phase) / kFactor; // distance in input samples
    const double Sinc = X == 0 ? 1 : std::sin(std::numbers::pi * X) / (std::numbers::pi * X);
    const double R = X / (kHalf + 1.0);
    Taps[T] = Sinc * BesselI0(kKaiserBeta * std::sqrt(1 - R * R)) / BesselI0(kKaiserBeta);
    Sum += Taps[T];
  }
  for (double& Tap : Taps)
    Tap /= Sum;
  return Taps;
}

const std::array<TPhase, kFactor>& Phases() {
  static const std::array<TPhase, kFactor> Table = [] {
    std::array<TPhase, kFactor> P;
    for (int Phase = 0; Phase < kFactor; ++Phase)
      P[Phase] = MakePhase(Phase);
    return P;
  }();
  return Table;
}

// Two doubles that the compiler keeps in one vector register; each lane's arithmetic is that of a plain
// double.
using TPair = double __attribute__((vector_size(16)));

TPair LoadPair(const double* At) {
  TPair V;
  std::memcpy(&V, At, sizeof V);
  return V;
}

// The largest magnitude of the values interpolated in Count windows from Window on (window N's sample
// kHalf - 1 is the one interpolated after). Eight windows go at once, each with its own sum per phase:
// every sum still adds its products in tap order, so each value is the one a window alone gives.
double InterpolatedPeak(const double* Window, size_t Count) {
  constexpr size_t kPairs = 4;
  const auto& P = Phases();
  double Peak = 0;
  size_t N = 0;
  for (; N + 2 * kPairs <= Count; N += 2 * kPairs)
    for (int Phase = 1; Phase < kFactor; ++Phase) {
      TPair V[kPairs] = {};
      for (int T = 0; T < kTaps; ++T) {
        const TPair Tap = {P[Phase][T], P[Phase][T]};
        for (size_t K = 0; K < kPairs; ++K)
          V[K] += Tap * LoadPair(Window + N + 2 * K + T);
      }
      for (const TPair& Pair : V)
        Peak = std::max({Peak, std::abs(Pair[0]), std::abs(Pair[1])});
    }
  for (; N < Count; ++N)
    for (int Phase = 1; Phase < kFactor; ++Phase) {
      double V = 0;
      for (int T = 0; T < kTaps; ++T)
        V += P[Phase][T] * Window[N + T];
      Peak = std::max(Peak, std::abs(V));
    }
  return Peak;
}

// The largest magnitude of one channel, at its samples and at the points between them. Samples before
// the first and after the last count as silence, so the sound's edges are interpolated too.
double ChannelPeak(const TAudio& Audio, unsigned Channel) {
  std::vector<double> X(Audio.Frames() + 2 * kHalf, 0.0);
  double Peak = 0;
  for (size_t N = 0; N < Audio.Frames(); ++N) {
    X[kHalf + N] = Audio.Samples[N * Audio.Channels + Channel];
    Peak = std::max(Peak, std::abs(X[kHalf + N]));
  }
  return std::max(Peak, InterpolatedPeak(X.data(), X.size() + 1 - kTaps));
}

} // namespace

double TruePeak(const TAudio& Audio) {
  double Peak = 0;
  for (unsigned C = 0; C < Audio.Channels; ++C)
    Peak = std::max(Peak, ChannelPeak(Audio, C));
  return Peak / 32768;
}

double SamplePeak(const TAudio& Audio) {
  int Peak = 0;
  for (int16_t S : Audio.Samples)
    Peak = std::max(Peak, std::abs(int(S)));
  return Peak / 32768.0;
}

} // namespace sx
