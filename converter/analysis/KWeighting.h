#pragma once
// The K-weighting of loudness measurement: a high shelf of about +4 dB above 1.5 kHz (the head's effect)
// followed by a high pass at about 38 Hz (the revised low-frequency B curve). Both filters are derived
// from their analogue prototypes for the sound's own sample rate by the bilinear transform, so that every
// rate, not only 48 kHz, gets the same response.

#include <cstdint>

namespace sx {

// A second-order IIR section, a0 normalised to 1, run in transposed direct form II.
struct TBiquad {
  double B0 = 1, B1 = 0, B2 = 0, A1 = 0, A2 = 0;

  double Run(double X) {
    const double Y = B0 * X + FZ1;
    FZ1 = B1 * X - A1 * Y + FZ2;
    FZ2 = B2 * X - A2 * Y;
    return Y;
  }

private:
  double FZ1 = 0, FZ2 = 0;
};

// The two stages of K-weighting for SampleRate (1 Hz and up).
TBiquad KWeightingShelf(uint32_t SampleRate);
TBiquad KWeightingHighPass(uint32_t SampleRate);

} // namespace sx
