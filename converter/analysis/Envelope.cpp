#include "converter/analysis/Envelope.h"

#include <algorithm>

namespace sx {

std::vector<std::vector<TEnvelopePoint>> Envelope(const TAudio& Audio, size_t Points) {
  std::vector<std::vector<TEnvelopePoint>> Channels(Audio.Channels, std::vector<TEnvelopePoint>(Points));
  const size_t Frames = Audio.Frames();
  if (Frames == 0)
    return Channels;
  for (size_t I = 0; I < Points; ++I) {
    // 64-bit products: a long song times many points passes 32 bits.
    const size_t Begin = size_t(uint64_t(I) * Frames / Points);
    const size_t End = std::min(Frames, std::max(Begin + 1, size_t(uint64_t(I + 1) * Frames / Points)));
    for (unsigned C = 0; C < Audio.Channels; ++C) {
      int16_t Low = Audio.Samples[Begin * Audio.Channels + C], High = Low;
      for (size_t F = Begin + 1; F < End; ++F) {
        const int16_t S = Audio.Samples[F * Audio.Channels + C];
        Low = std::min(Low, S);
        High = std::max(High, S);
      }
      Channels[C][I] = {Low, High};
    }
  }
  return Channels;
}

} // namespace sx
