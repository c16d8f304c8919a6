#pragma once
// Writes the canonical 44-byte-header Wave file: 16-bit little-endian PCM, interleaved. Tags, when any is
// given, follow the sound: a LIST/INFO chunk (INAM, IART, IPRD in Windows-1252) and an "id3 " chunk (ID3v2.3
// in UTF-16); without tags the file ends with its sound.

#include "converter/Audio.h"
#include "converter/formats/Tags.h"

namespace sx {

// Raises EConvertError if Audio is not writable (see CheckWritable) or too long for a RIFF file.
Bytes WriteWave(const TAudio& Audio, const TTags& Tags = {});

} // namespace sx
