#pragma once
// The bitstream of one MicroTalk frame: 12 reflection indices (four of 6 bits, eight of 5 bits offset by
// 16), then four subframes of lag (8), pitch code (4), gain index (6), with reduced bandwidth an align and
// a zero bit, then the innovation codes: RELP ("0" 0, "10" -2, "11" +2) or, when the first index is below
// the threshold, the two-model multipulse prefix code with escapes and zero runs.

#include "converter/codecs/MicroTalk.h"
#include "converter/codecs/MicroTalkBits.h"

namespace sx {

// The number of coded innovation values per subframe.
inline size_t MTCodedValues(const TMTTables& T) {
  return T.ReducedBandwidth ? 54 : 108;
}

// True if the frame's innovation uses the multipulse code.
inline bool MTMultipulse(const TMTTables& T, const TMTFrame& F) {
  return F.RCIndex[0] < T.Threshold;
}

void ReadMTStreamHeader(TMTBitReader& R, TMTStreamHeader& H);
void WriteMTStreamHeader(TMTBitWriter& W, const TMTStreamHeader& H);

// Raises EConvertError when the frame runs past the reader's data.
void ReadMTFrame(TMTBitReader& R, const TMTTables& T, TMTFrame& F);

// Values must be representable: RELP values -2, 0 or 2; multipulse values any integer.
void WriteMTFrame(TMTBitWriter& W, const TMTTables& T, const TMTFrame& F);

// Bits the innovation codes of one subframe take.
size_t MTInnovationBits(const TMTTables& T, bool Multipulse, const int* Values);

} // namespace sx
