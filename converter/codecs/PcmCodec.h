#pragma once
// The PCM codecs of EA stream blocks: signed 16-bit little- or big-endian, and signed 8-bit (each sample
// the 16-bit value rounded to the nearest multiple of 256).

#include "converter/codecs/EACodec.h"

namespace sx {

std::unique_ptr<TChannelEncoder> MakePcmEncoder(TEACodec Codec);
std::unique_ptr<TChannelDecoder> MakePcmDecoder(TEACodec Codec);

} // namespace sx
