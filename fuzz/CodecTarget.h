#pragma once
// Feeds one channel decoder of the converter block after block. Input: a byte choosing the codec of the
// target's list (bits 1 and up) and the layout variant (bit 0), then blocks, each a little-endian 16-bit
// sample count (up to 4095), a 16-bit size and that many data bytes. A block that decodes appends exactly
// its count and reads no more than it was given.

#include "converter/codecs/EACodec.h"
#include "fuzz/Fuzz.h"

#include <initializer_list>

namespace fuzz {

inline int DecodeBlocks(const uint8_t* Data, size_t Size, std::initializer_list<sx::TEACodec> Codecs) {
  if (Size == 0)
    return 0;
  sx::TEAVariant Variant;
  Variant.PcmCapable = (Data[0] & 1) != 0;
  const sx::TEACodec Codec = Codecs.begin()[(Data[0] >> 1) % Codecs.size()];
  std::unique_ptr<sx::TChannelDecoder> Decoder = sx::MakeDecoder(Codec, Variant);
  std::vector<int16_t> Out;
  size_t At = 1;
  for (bool First = true; At + 4 <= Size; First = false) {
    const size_t Count = (Data[At] | Data[At + 1] << 8) & 0xFFF;
    const size_t Length = std::min<size_t>(Data[At + 2] | Data[At + 3] << 8, Size - At - 4);
    At += 4;
    const size_t Before = Out.size();
    sx::TChannelBlockInfo Info;
    try {
      Decoder->Decode(Data + At, Length, Count, First, Out, Info);
    } catch (const sx::EConvertError&) {
      return 0;
    }
    FUZZ_CHECK(Out.size() == Before + Count);
    FUZZ_CHECK(Info.Consumed <= Length);
    At += Length;
  }
  return 0;
}

} // namespace fuzz
