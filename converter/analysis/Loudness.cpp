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
// channels. A cut-off last step is left out: no whole block ends in it. The channels of a frame go through
// their filters together: each filter is a chain of dependent arithmetic, and two chains overlap in the
// processor.
template <unsigned kChannels> std::vector<double> StepEnergies(const TAudio& Audio, size_t StepFrames) {
  std::vector<double> Steps(Audio.Frames() / StepFrames, 0.0);
  TBiquad Shelf[kChannels], HighPass[kChannels];
  for (unsigned C = 0; C < kChannels; ++C) {
    Shelf[C] = KWeightingShelf(Audio.SampleRate);
    HighPass[C] = KWeightingHighPass(Audio.SampleRate);
  }
  const int16_t* Frame = Audio.Samples.data();
  for (double& Step : Steps) {
    double Energy[kChannels] = {};
    for (size_t N = 0; N < StepFrames; ++N, Frame += kChannels)
      for (unsigned C = 0; C < kChannels; ++C) {
        const double Y = HighPass[C].Run(Shelf[C].Run(Frame[C] / 32768.0));
        Energy[C] += Y * Y;
      }
    for (double E : Energy)
      Step += E;
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

std::optional<double> IntegratedLoudness(const TAudio& Audio) {
  // 100 ms is a whole number of frames at every common rate; at others the step is rounded, and the
  // blocks with it, which the mean square absorbs.
  const size_t StepFrames = std::max<size_t>(1, (Audio.SampleRate + 5) / 10);
  // Readers give mono or stereo only.
  if (Audio.Channels != 1 && Audio.Channels != 2)
    throw EConvertError("Loudness is measured in mono and stereo, not " + std::to_string(Audio.Channels) +
                        " channels");
  const std::vector<double> Blocks = BlockPowers(Audio.Channels == 1 ? StepEnergies<1>(Audio, StepFrames)
                                                                     : StepEnergies<2>(Audio, StepFrames),
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

TLoudness MeasureLoudness(const TAudio& Audio) {
  if (Audio.SampleRate < kMinLoudnessRate)
    throw EConvertError("Loudness is measured at sample rates of " + std::to_string(kMinLoudnessRate) +
                        " Hz and more, not " + std::to_string(Audio.SampleRate) + " Hz");
  TLoudness L;
  L.Integrated = IntegratedLoudness(Audio);
  L.TruePeak = Decibels(TruePeak(Audio));
  L.SamplePeak = Decibels(SamplePeak(Audio));
  return L;
}

} // namespace sx
