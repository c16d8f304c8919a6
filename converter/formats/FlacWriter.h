#pragma once
// Writes FLAC: "fLaC", the STREAMINFO block (block size 4096, the smallest and largest frame, the MD5 of
// the samples), a VORBIS_COMMENT block (the vendor "sx", TITLE, ARTIST and ALBUM when given), then frames
// of 4096 samples (the last one shorter) of 16 bits, from TFlacEncoder, within the streamable subset.

#include "converter/Audio.h"
#include "converter/formats/Tags.h"

namespace sx {

// Raises EConvertError if Audio is not writable (see CheckWritable).
Bytes WriteFlac(const TAudio& Audio, const TTags& Tags = {});

} // namespace sx
