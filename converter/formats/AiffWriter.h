#pragma once
// Writes plain AIFF: COMM and SSND chunks, 16-bit big-endian PCM, interleaved. Tags, when any is given,
// follow the sound: NAME and AUTH chunks (title and artist in Windows-1252) and an "ID3 " chunk (ID3v2.3 in
// UTF-16); without tags the file ends with its sound.

#include "converter/Audio.h"
#include "converter/formats/Tags.h"

namespace sx {

// Raises EConvertError if Audio is not writable (see CheckWritable) or too long for an IFF file.
Bytes WriteAiff(const TAudio& Audio, const TTags& Tags = {});

} // namespace sx
