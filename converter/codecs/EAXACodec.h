#pragma once
// EA-XA in EA stream blocks: each channel's part of a block is a run of frames continuing the predictor
// state of the previous block. The old revision starts each channel's part with 4 bytes of history, which
// the decoder skips.

#include "converter/codecs/EACodec.h"

namespace sx {

std::unique_ptr<TChannelEncoder> MakeEAXAEncoder();
std::unique_ptr<TChannelDecoder> MakeEAXADecoder(TEAVariant Variant);

} // namespace sx
