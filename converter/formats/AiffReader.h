#pragma once
// Reads AIFF and AIFF-C with uncompressed samples: signed big-endian integers of 8 to 32 bits, AIFF-C
// "NONE"/"twos" (big-endian), "sowt" (little-endian) and "fl32" (big-endian float). More than two
// channels are mixed to stereo.

#include "converter/Audio.h"

namespace sx {

// True if Data starts like an AIFF or AIFF-C file ("FORM" ... "AIFF"/"AIFC").
bool IsAiff(const Bytes& Data);

// Raises EConvertError for a damaged, truncated or unsupported file.
TAudio ReadAiff(const Bytes& Data);

} // namespace sx
