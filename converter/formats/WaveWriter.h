#pragma once
// Writes the canonical 44-byte-header Wave file: 16-bit little-endian PCM, interleaved.

#include "converter/Audio.h"

namespace sx {

// Raises EConvertError if Audio is not writable (see CheckWritable) or too long for a RIFF file.
Bytes WriteWave(const TAudio& Audio);

} // namespace sx
