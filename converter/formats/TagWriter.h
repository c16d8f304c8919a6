#pragma once
// The tags an export carries, in the forms the Wave and AIFF writers put them: an ID3v2.3 tag of UTF-16
// text frames, and the containers' own chunks of Windows-1252 text. Only the fields given are written.

#include "converter/Audio.h"
#include "converter/formats/Tags.h"

namespace sx {

// ID3v2.3: TIT2, TPE1 and TALB, each in UTF-16 with a byte-order mark. Raises EConvertError when the tag
// passes the 256 MB an ID3v2 size can tell.
Bytes Id3v2Tag(const TTags& Tags);

// The body of a Wave LIST chunk: "INFO", then INAM, IART and IPRD, each text NUL-terminated and padded to
// an even size.
Bytes WaveInfoList(const TTags& Tags);

// Appends a chunk of Id and Body, its size in 32 bits little- (RIFF) or big-endian (IFF), padded to an even
// size.
void PutChunk(Bytes& Out, const char* Id, const Bytes& Body, bool LittleEndian);

} // namespace sx
