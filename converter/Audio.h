#pragma once
// The sound every reader produces and every writer takes: signed 16-bit samples, interleaved by channel
// (left, right for stereo), at one sample rate. Readers reduce wider formats to 16 bits and more than two
// channels to stereo, so writers only ever see mono or stereo.

#include "base/Exceptions.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sx {

using Bytes = std::vector<uint8_t>;

struct TAudio {
  uint32_t SampleRate = 0;
  unsigned Channels = 0;
  std::vector<int16_t> Samples; // Frames() * Channels values
  // Damage a reader read past, as players do, one line each for the user (a cut-off end, a skipped frame).
  std::vector<std::string> Warnings;

  size_t Frames() const { return Channels == 0 ? 0 : Samples.size() / Channels; }
};

// An input that cannot be read or an output that cannot be made; the message is one line for the user.
class EConvertError : public Exception {
public:
  using Exception::Exception;
};

// Checks what every writer needs: 1 or 2 channels, a sample rate from 1 Hz to 1 MHz and whole frames.
void CheckWritable(const TAudio& Audio);

// Clamps to the 16-bit range.
inline int16_t Clamp16(int64_t Value) {
  return static_cast<int16_t>(Value < -32768 ? -32768 : Value > 32767 ? 32767 : Value);
}

// Value rounded to the nearest integer, halves away from zero, then clamped to the 16-bit range; for
// |Value| below 2^52, where the part after the point is exact. The same as std::llround where a C runtime
// rounds correctly, and without a library call per sample.
inline int16_t Round16(double Value) {
  const int64_t Whole = static_cast<int64_t>(Value); // towards zero
  const double Rest = Value - static_cast<double>(Whole);
  return Clamp16(Whole + (Rest >= 0.5) - (Rest <= -0.5));
}

} // namespace sx
