#pragma once
// AIFF's sample rate field: an 80-bit IEEE extended number, big-endian.

#include "converter/Audio.h"

namespace sx {

// The 80-bit IEEE extended number of AIFF's sample rate, for a positive integer rate, and back (rounded to
// the nearest integer; 0 for values that are not a usable rate).
void PutExtended(Bytes& Out, uint32_t Rate);
uint32_t ReadExtended(const uint8_t* Ten);

} // namespace sx
