#pragma once
// MicroTalk in EA stream blocks. Each channel's part of a block is a flag byte (1 in the stream's first
// block, 0 later), then whole frames starting on a byte boundary, then at least one zero byte. In the
// PCM-capable revision each frame starts with a marker byte and ends on a byte boundary; marker 0xEE is
// followed by BE16 offset, BE16 count and that many BE16 samples replacing part of the frame's output.
// The 15-bit stream header opens the first frame of the stream. Each channel is its own MicroTalk stream.

#include "converter/codecs/EACodec.h"

namespace sx {

// ReducedBandwidth selects 10:1 (excitation at every other position) over 5:1.
std::unique_ptr<TChannelEncoder> MakeMicroTalkEncoder(bool ReducedBandwidth);
std::unique_ptr<TChannelDecoder> MakeMicroTalkDecoder(TEAVariant Variant);

} // namespace sx
