#include "converter/codecs/PcmCodec.h"

#include "converter/Bytes.h"

#include <algorithm>

namespace sx {
namespace {

size_t Width(TEACodec Codec) {
  return Codec == TEACodec::PcmS8 ? 1 : 2;
}

class TPcmEncoder : public TChannelEncoder {
public:
  explicit TPcmEncoder(TEACodec Codec) : FCodec(Codec) {}
  void Encode(const int16_t* Samples, size_t Count, size_t Stride, bool, Bytes& Out) override {
    for (size_t I = 0; I < Count; ++I) {
      int16_t S = Samples[I * Stride];
      if (FCodec == TEACodec::PcmS8)
        Out.push_back(static_cast<uint8_t>(std::min((S + 128) >> 8, 127)));
      else if (FCodec == TEACodec::PcmS16BE)
        PutBE16(Out, static_cast<uint16_t>(S));
      else
        PutLE16(Out, static_cast<uint16_t>(S));
    }
  }

private:
  TEACodec FCodec;
};

class TPcmDecoder : public TChannelDecoder {
public:
  explicit TPcmDecoder(TEACodec Codec) : FCodec(Codec) {}
  void Decode(const uint8_t* Data, size_t Size, size_t Count, bool, std::vector<int16_t>& Out,
              TChannelBlockInfo& Info) override {
    if (Count > Size / Width(FCodec))
      throw EConvertError("Damaged EA stream: PCM block shorter than its sample count");
    for (size_t I = 0; I < Count; ++I) {
      const uint8_t* P = Data + I * Width(FCodec);
      if (FCodec == TEACodec::PcmS8)
        Out.push_back(static_cast<int16_t>(static_cast<int8_t>(P[0]) * 256));
      else if (FCodec == TEACodec::PcmS16BE)
        Out.push_back(static_cast<int16_t>(P[0] << 8 | P[1]));
      else
        Out.push_back(static_cast<int16_t>(P[1] << 8 | P[0]));
    }
    Info.Consumed = Count * Width(FCodec);
    Info.Frames = Count;
  }

private:
  TEACodec FCodec;
};

} // namespace

std::unique_ptr<TChannelEncoder> MakePcmEncoder(TEACodec Codec) {
  return std::make_unique<TPcmEncoder>(Codec);
}
std::unique_ptr<TChannelDecoder> MakePcmDecoder(TEACodec Codec) {
  return std::make_unique<TPcmDecoder>(Codec);
}

} // namespace sx
