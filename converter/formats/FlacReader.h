#pragma once
// Reads FLAC (RFC 9639): the "fLaC" marker (after an ID3v2 tag, if one comes first), the metadata blocks
// (STREAMINFO first; the others skipped here), then frames of fixed or variable block size, 1 to 8
// channels of 4 to 24 bits. Reading is strict: a frame whose CRC-8 or CRC-16 fails, a frame cut off, a
// stream shorter than its stream information says or whose samples do not give the MD5 it holds is
// refused with the reason; a stream of unknown length ends at the first bytes that are not a frame.
//
// The samples become 16-bit as Wave's do: narrower ones are shifted up, wider ones rounded to the nearest
// 16-bit value (halves away from zero) and clamped. Three to eight channels are mixed to stereo in FLAC's
// channel orders: front left and right at full weight, the centre (front or back) on both sides and the
// other surround channels on their side at -3 dB, the low-frequency channel left out, each side divided
// by the sum of its weights.

#include "converter/Audio.h"

namespace sx {

// Where "fLaC" starts in Data: at 0, or after an ID3v2 tag at the start; SIZE_MAX when neither.
size_t FlacMarker(const Bytes& Data);

inline bool IsFlac(const Bytes& Data) {
  return FlacMarker(Data) != SIZE_MAX;
}

// Raises EConvertError for a damaged, truncated or unsupported stream, the text naming what is wrong.
TAudio ReadFlac(const Bytes& Data);

} // namespace sx
