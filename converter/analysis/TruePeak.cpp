#include "converter/analysis/TruePeak.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
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

#if defined(__x86_64__) || defined(__i386__)

// Four doubles in one AVX register, each lane's arithmetic that of a plain double (no fused multiply-add:
// the converter is built without contraction, and AVX2 alone has none).
using TQuad = double __attribute__((vector_size(32)));

// InterpolatedPeak sixteen windows at a time: each window's value is the same sum in the same order.
__attribute__((target("avx2"))) double InterpolatedPeakWide(const double* Window, size_t Count) {
  constexpr size_t kQuads = 4;
  const auto& P = Phases();
  double Peak = 0;
  size_t N = 0;
  for (; N + 4 * kQuads <= Count; N += 4 * kQuads)
    for (int Phase = 1; Phase < kFactor; ++Phase) {
      TQuad V[kQuads] = {};
      for (int T = 0; T < kTaps; ++T) {
        const double Tap = P[Phase][T];
        const TQuad Taps = {Tap, Tap, Tap, Tap};
        for (size_t K = 0; K < kQuads; ++K) {
          TQuad X;
          std::memcpy(&X, Window + N + 4 * K + T, sizeof X);
          V[K] += Taps * X;
        }
      }
      for (const TQuad& Quad : V)
        for (int L = 0; L < 4; ++L)
          Peak = std::max(Peak, std::abs(Quad[L]));
    }
  return std::max(Peak, InterpolatedPeak(Window + N, Count - N));
}

bool WidePeakAvailable() {
  static const bool Available = __builtin_cpu_supports("avx2");
  return Available;
}

#else

double InterpolatedPeakWide(const double* Window, size_t Count) {
  return InterpolatedPeak(Window, Count);
}

bool WidePeakAvailable() {
  return false;
}

#endif

// Windows interpolated at a time: a multiple of the eight that InterpolatedPeak takes at once, so that
// every window goes through the arithmetic it would get in one pass over the whole channel.
constexpr size_t kBlock = 512;

// No interpolated value exceeds this times the largest magnitude among its window's samples: the largest
// sum of a phase's absolute taps, with room for the rounding of sixteen products and their sum.
double InterpolationBound() {
  static const double Bound = [] {
    double Largest = 0;
    for (int Phase = 1; Phase < kFactor; ++Phase) {
      double Sum = 0;
      for (double Tap : Phases()[Phase])
        Sum += std::abs(Tap);
      Largest = std::max(Largest, Sum);
    }
    return Largest * (1 + 1e-9);
  }();
  return Bound;
}

// The largest magnitude of each channel in each block of kBlock frames (the last block short or empty):
// Loudest[B * Channels + C]. One pass over the sound; a block's samples go through sixteen running
// maxima side by side, position by position, which the compiler keeps in vector registers.
std::vector<int> BlockLoudness(const TAudio& Audio) {
  constexpr size_t kLanes = 16;
  const size_t Frames = Audio.Frames(), Channels = Audio.Channels;
  std::vector<int> Loudest((Frames / kBlock + 1) * Channels, 0);
  const int16_t* Samples = Audio.Samples.data();
  for (size_t B = 0; B * kBlock < Frames; ++B) {
    const size_t First = B * kBlock * Channels, End = std::min(Frames, (B + 1) * kBlock) * Channels;
    int* Block = &Loudest[B * Channels];
    size_t N = First;
    if (kLanes % Channels == 0) {
      std::array<int, kLanes> Lanes{};
      for (; N + kLanes <= End; N += kLanes)
        for (size_t L = 0; L < kLanes; ++L)
          Lanes[L] = std::max(Lanes[L], std::abs(int(Samples[N + L])));
      for (size_t L = 0; L < kLanes; ++L)
        Block[L % Channels] = std::max(Block[L % Channels], Lanes[L]);
    }
    for (; N < End; ++N)
      Block[(N - First) % Channels] = std::max(Block[(N - First) % Channels], std::abs(int(Samples[N])));
  }
  return Loudest;
}

// The largest of Peak and the magnitudes of one channel, at its samples and at the points between them.
// Samples before the first and after the last count as silence, so the sound's edges are interpolated
// too. Window N holds the samples N - kHalf to N + kHalf - 1 and gives the points between samples N - 1
// and N, so a block of windows reaches into the blocks of samples on either side of its own. The blocks
// are interpolated loudest first, and only while their samples, those three blocks', are loud enough to
// pass Peak: no value of a quieter block could change it.
double ChannelPeak(const TAudio& Audio, unsigned Channel, const std::vector<int>& Loudest, double Peak,
                   bool Wide) {
  const size_t Frames = Audio.Frames(), Blocks = Frames / kBlock + 1;
  auto BlockLoudest = [&](size_t B) { return Loudest[B * Audio.Channels + Channel]; };
  std::vector<std::pair<int, size_t>> Order; // the loudness around each block, and the block
  Order.reserve(Blocks);
  for (size_t B = 0; B < Blocks; ++B) {
    Peak = std::max(Peak, double(BlockLoudest(B)));
    Order.emplace_back(std::max({BlockLoudest(B), B > 0 ? BlockLoudest(B - 1) : 0,
                                 B + 1 < Blocks ? BlockLoudest(B + 1) : 0}),
                       B);
  }
  std::sort(Order.begin(), Order.end(), std::greater<>());
  const int16_t* Samples = Audio.Samples.data();
  std::vector<double> X(kBlock + kTaps - 1);
  for (const auto& [Around, B] : Order) {
    if (Around * InterpolationBound() <= Peak)
      break;
    const size_t First = B * kBlock, Count = std::min(kBlock, Frames + 1 - First);
    // X[T] is the sample First + T - kHalf, silence outside the sound.
    const size_t Inside = First >= kHalf ? 0 : kHalf - First;
    const size_t End = std::min(Count + kTaps - 1, Frames + kHalf - First);
    std::fill(X.begin(), X.end(), 0.0);
    for (size_t T = Inside; T < End; ++T)
      X[T] = Samples[(First + T - kHalf) * Audio.Channels + Channel];
    Peak = std::max(Peak, Wide ? InterpolatedPeakWide(X.data(), Count) : InterpolatedPeak(X.data(), Count));
  }
  return Peak;
}

} // namespace

TPeaks FindPeaks(const TAudio& Audio, double Above, TPeakSearch Search) {
  const bool Wide = Search == TPeakSearch::Best && WidePeakAvailable();
  const std::vector<int> Loudest = BlockLoudness(Audio);
  TPeaks P;
  if (Loudest.empty())
    return P;
  P.Sample = *std::max_element(Loudest.begin(), Loudest.end()) / 32768.0;
  const double Level = std::max(0.0, Above) * 32768;
  double Peak = Level;
  for (unsigned C = 0; C < Audio.Channels; ++C)
    Peak = ChannelPeak(Audio, C, Loudest, Peak, Wide);
  if (Peak > Level)
    P.True = Peak / 32768;
  return P;
}

double TruePeak(const TAudio& Audio, TPeakSearch Search) {
  return FindPeaks(Audio, 0, Search).True.value_or(0);
}

} // namespace sx
