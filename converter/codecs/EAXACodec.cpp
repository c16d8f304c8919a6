#include "converter/codecs/EAXACodec.h"

#include "converter/codecs/EAXA.h"

#include <algorithm>

namespace sx {
namespace {

class TEAXAEncoder : public TChannelEncoder {
public:
  void Encode(const int16_t* Samples, size_t Count, size_t Stride, bool, Bytes& Out) override {
    int16_t Frame[kEAXAFrameSamples];
    uint8_t Coded[kEAXAFrameBytes];
    for (size_t Start = 0; Start < Count; Start += kEAXAFrameSamples) {
      // The stream's last frame is padded with silence; the header's sample count cuts it off again.
      for (size_t I = 0; I < kEAXAFrameSamples; ++I)
        Frame[I] = Start + I < Count ? Samples[(Start + I) * Stride] : 0;
      EncodeEAXAFrame(Frame, FState, Coded);
      Out.insert(Out.end(), Coded, Coded + kEAXAFrameBytes);
    }
  }

private:
  TEAXAState FState;
};

class TEAXADecoder : public TChannelDecoder {
public:
  explicit TEAXADecoder(TEAVariant Variant) : FVariant(Variant) {}

  void Decode(const uint8_t* Data, size_t Size, size_t Count, bool, std::vector<int16_t>& Out,
              TChannelBlockInfo& Info) override {
    size_t Pos = FVariant.PcmCapable ? 0 : 4;
    if (Pos > Size)
      throw EConvertError("Damaged EA stream: EA-XA block too short");
    TEAXAVariant Codec{FVariant.PcmCapable, !FVariant.PcmCapable};
    int16_t Frame[kEAXAFrameSamples];
    for (size_t Done = 0; Done < Count; Done += kEAXAFrameSamples) {
      size_t Used = DecodeEAXAFrame(Data + Pos, Size - Pos, FState, Frame, Codec);
      if (Used == 0)
        throw EConvertError("Damaged EA stream: EA-XA frame cut off or invalid");
      Info.RawFrames += Used == kEAXARawFrameBytes;
      ++Info.Frames;
      Pos += Used;
      Out.insert(Out.end(), Frame, Frame + std::min(kEAXAFrameSamples, Count - Done));
    }
    Info.Consumed = Pos;
  }

private:
  TEAVariant FVariant;
  TEAXAState FState;
};

} // namespace

std::unique_ptr<TChannelEncoder> MakeEAXAEncoder() {
  return std::make_unique<TEAXAEncoder>();
}
std::unique_ptr<TChannelDecoder> MakeEAXADecoder(TEAVariant Variant) {
  return std::make_unique<TEAXADecoder>(Variant);
}

} // namespace sx
