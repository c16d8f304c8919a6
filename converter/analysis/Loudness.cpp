#include "converter/analysis/Loudness.h"

#include "converter/analysis/KWeighting.h"
#include "converter/analysis/TruePeak.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace sx {
namespace {

constexpr double kOffsetDb = -0.691; // makes a 0 dBFS 1 kHz sine in one channel -3.01 LUFS
constexpr double kAbsoluteGate = -70;
constexpr double kRelativeGate = -10;
constexpr int kStepsPerBlock = 4; // 400 ms blocks that overlap by 75 %, in steps of 100 ms

double ToLoudness(double MeanSquare) {
  return kOffsetDb + 10 * std::log10(MeanSquare);
}

// The K-weighted energy (sum of squares, full scale 1) of each 100 ms step of the sound, summed over the
// channels: within a step, the first channel's terms in order, then the second's, and so on. A cut-off
// last step is left out: no whole block ends in it.
std::vector<double> StepEnergies(const TAudio& Audio, size_t StepFrames) {
  std::vector<double> Steps(Audio.Frames() / StepFrames, 0.0);
  for (unsigned C = 0; C < Audio.Channels; ++C) {
    TBiquad Shelf = KWeightingShelf(Audio.SampleRate), HighPass = KWeightingHighPass(Audio.SampleRate);
    for (size_t N = 0; N < Steps.size() * StepFrames; ++N) {
      const double Y = HighPass.Run(Shelf.Run(Audio.Samples[N * Audio.Channels + C] / 32768.0));
      Steps[N / StepFrames] += Y * Y;
    }
  }
  return Steps;
}

// Two doubles that the compiler keeps in one vector register; each lane's arithmetic is that of a plain
// double.
using TPair = double __attribute__((vector_size(16)));

// A biquad for the two channels of stereo at once, each lane computing what TBiquad::Run computes.
struct TBiquadPair {
  explicit TBiquadPair(const TBiquad& F)
      : B0{F.B0, F.B0}, B1{F.B1, F.B1}, B2{F.B2, F.B2}, A1{F.A1, F.A1}, A2{F.A2, F.A2} {}
  TPair Run(TPair X) {
    const TPair Y = B0 * X + Z1;
    Z1 = B1 * X - A1 * Y + Z2;
    Z2 = B2 * X - A2 * Y;
    return Y;
  }
  TPair B0, B1, B2, A1, A2, Z1 = {}, Z2 = {};
};

// StepEnergies of stereo, both channels filtered at once: the same sums, added in the same order (the
// right channel's terms of a step wait in Right until the left's are in).
std::vector<double> StereoStepEnergies(const TAudio& Audio, size_t StepFrames) {
  std::vector<double> Steps(Audio.Frames() / StepFrames, 0.0), Right(StepFrames);
  TBiquadPair Shelf(KWeightingShelf(Audio.SampleRate)), HighPass(KWeightingHighPass(Audio.SampleRate));
  const int16_t* Samples = Audio.Samples.data();
  for (double& Step : Steps) {
    double Sum = 0;
    for (size_t N = 0; N < StepFrames; ++N, Samples += 2) {
      const TPair Y = HighPass.Run(Shelf.Run(TPair{Samples[0] / 32768.0, Samples[1] / 32768.0}));
      Sum += Y[0] * Y[0];
      Right[N] = Y[1] * Y[1];
    }
    for (double Term : Right)
      Sum += Term;
    Step = Sum;
  }
  return Steps;
}

// Mean square of every whole block.
std::vector<double> BlockPowers(const std::vector<double>& Steps, size_t StepFrames) {
  std::vector<double> Blocks;
  for (size_t B = 0; B + kStepsPerBlock <= Steps.size(); ++B) {
    double Energy = 0;
    for (int S = 0; S < kStepsPerBlock; ++S)
      Energy += Steps[B + S];
    Blocks.push_back(Energy / double(StepFrames * kStepsPerBlock));
  }
  return Blocks;
}

// The mean power of the blocks louder than Gate (LUFS), or 0 when there are none.
double GatedMean(const std::vector<double>& Blocks, double Gate) {
  double Sum = 0;
  size_t Count = 0;
  for (double Power : Blocks)
    if (Power > 0 && ToLoudness(Power) > Gate) {
      Sum += Power;
      ++Count;
    }
  return Count == 0 ? 0 : Sum / double(Count);
}

std::optional<double> GatedLoudness(const TAudio& Audio) {
  // 100 ms is a whole number of frames at every common rate; at others the step is rounded, and the
  // blocks with it, which the mean square absorbs.
  const size_t StepFrames = std::max<size_t>(1, (Audio.SampleRate + 5) / 10);
  const std::vector<double> Blocks = BlockPowers(Audio.Channels == 2 ? StereoStepEnergies(Audio, StepFrames)
                                                                     : StepEnergies(Audio, StepFrames),
                                                 StepFrames);
  const double Absolute = GatedMean(Blocks, kAbsoluteGate);
  if (Absolute == 0)
    return std::nullopt;
  // A block counts when it passes both gates.
  const double Relative = GatedMean(Blocks, std::max(kAbsoluteGate, ToLoudness(Absolute) + kRelativeGate));
  return ToLoudness(Relative);
}

} // namespace

std::optional<double> Decibels(double Fraction) {
  if (Fraction <= 0)
    return std::nullopt;
  return 20 * std::log10(Fraction);
}

std::optional<double> IntegratedLoudness(const TAudio& Audio) {
  if (Audio.SampleRate < kMinLoudnessRate)
    throw EConvertError("Loudness is measured at sample rates of " + std::to_string(kMinLoudnessRate) +
                        " Hz and more, not " + std::to_string(Audio.SampleRate) + " Hz");
  return GatedLoudness(Audio);
}

TLoudness MeasureLoudness(const TAudio& Audio) {
  TLoudness L;
  L.Integrated = IntegratedLoudness(Audio);
  const TPeaks Peaks = FindPeaks(Audio);
  L.TruePeak = Decibels(Peaks.True.value_or(0));
  L.SamplePeak = Decibels(Peaks.Sample);
  return L;
}

} // namespace sx
