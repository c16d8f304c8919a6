#pragma once
// Reads RIFF Wave: integer PCM of 8 (unsigned), 16, 24 and 32 bits, 32-bit float, and the extensible
// form of both; any number of channels (more than two are mixed to stereo). Unknown chunks are skipped.

#include "converter/Audio.h"

namespace sx {

// True if Data starts like a Wave file ("RIFF" ... "WAVE").
bool IsWave(const Bytes& Data);

// Raises EConvertError for a damaged, truncated or unsupported file.
TAudio ReadWave(const Bytes& Data);

} // namespace sx
