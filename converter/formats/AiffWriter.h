#pragma once
// Writes plain AIFF: COMM and SSND chunks, 16-bit big-endian PCM, interleaved.

#include "converter/Audio.h"

namespace sx {

// Raises EConvertError if Audio is not writable (see CheckWritable) or too long for an IFF file.
Bytes WriteAiff(const TAudio& Audio);

} // namespace sx
