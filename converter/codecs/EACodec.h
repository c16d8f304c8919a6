#pragma once
// The codecs of EA stream data blocks, one channel at a time. An encoder or decoder object belongs to one
// channel of one stream and keeps the state that carries from block to block.

#include "converter/Audio.h"

#include <memory>

namespace sx {

// Codec identifiers of the header's A0 tag.
enum class TEACodec : uint8_t {
  PcmS16LE = 0x08,
  PcmS8 = 0x09,
  EAXA = 0x0A,
  MicroTalk10 = 0x04,
  MicroTalk5 = 0x16,
  PcmS16BE = 0x07,
};

class TChannelEncoder {
public:
  virtual ~TChannelEncoder() = default;
  // Appends the channel's data for one block: Count samples read from Samples with the given Stride.
  // FirstBlock is true for the stream's first data block.
  virtual void Encode(const int16_t* Samples, size_t Count, size_t Stride, bool FirstBlock, Bytes& Out) = 0;
};

// Details a decoder reports about one channel of one block, for checking a stream's structure.
struct TChannelBlockInfo {
  size_t Consumed = 0;      // bytes the codec read
  size_t Available = 0;     // bytes between the channel's offset and the next channel or the block end
  uint8_t Flag = 0;         // MicroTalk: the block's flag byte
  size_t Frames = 0;        // codec frames decoded
  size_t RawFrames = 0;     // frames carrying raw samples (EA-XA 0xEE, MicroTalk marker 0xEE)
  bool TrailingZero = true; // every byte after the consumed ones is zero
};

class TChannelDecoder {
public:
  virtual ~TChannelDecoder() = default;
  // Decodes Count samples of one block from Data[0, Size) and appends them to Out. Raises EConvertError
  // if the data is damaged or too short.
  virtual void Decode(const uint8_t* Data, size_t Size, size_t Count, bool FirstBlock,
                      std::vector<int16_t>& Out, TChannelBlockInfo& Info) = 0;
};

// The codec's name for the user: "EA-XA", "MicroTalk 10:1", "MicroTalk 5:1", "s16l", "s16b", "s8".
const char* EACodecName(TEACodec Codec);

// Samples per codec frame: blocks other than the last hold whole frames.
size_t FrameSamples(TEACodec Codec);

// Layout choices that depend on the stream's header version and platform.
struct TEAVariant {
  bool PcmCapable = true; // EA-XA raw frames, MicroTalk frame markers, no EA-XA history words
};

std::unique_ptr<TChannelEncoder> MakeEncoder(TEACodec Codec);
// Raises EConvertError for a codec this program cannot decode.
std::unique_ptr<TChannelDecoder> MakeDecoder(TEACodec Codec, TEAVariant Variant);

} // namespace sx
