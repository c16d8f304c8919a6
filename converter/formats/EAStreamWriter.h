#pragma once
// Writes an EA SPORTS PC stream (.asf): SCHl (version-3 PT header), SCCl (number of data blocks), the
// SCDl data blocks of about 1/15 s each, SCEl. Each data block holds the per-channel sample count, a table
// of each channel's data offset and the channels' data one after the other, padded to a multiple of 4.

#include "converter/Audio.h"
#include "converter/codecs/EACodec.h"

namespace sx {

// The channels are encoded in parallel. Raises EConvertError if Audio is not writable (see CheckWritable).
Bytes WriteEAStream(const TAudio& Audio, TEACodec Codec);

} // namespace sx
