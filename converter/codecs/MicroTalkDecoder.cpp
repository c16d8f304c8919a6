#include "converter/codecs/MicroTalkCodec.h"
#include "converter/codecs/MicroTalkFrame.h"

#include <algorithm>
#include <optional>

namespace sx {
namespace {

class TMTDecoder : public TChannelDecoder {
public:
  explicit TMTDecoder(TEAVariant Variant) : FVariant(Variant) {}

  void Decode(const uint8_t* Data, size_t Size, size_t Count, bool, std::vector<int16_t>& Out,
              TChannelBlockInfo& Info) override {
    if (Size < 1)
      throw EConvertError("Damaged EA stream: MicroTalk block too short");
    Info.Flag = Data[0];
    TMTBitReader R(Data, Size);
    R.SeekByte(1);
    for (size_t Done = 0; Done < Count; Done += kMTFrameSamples) {
      int16_t Frame[kMTFrameSamples];
      DecodeFrame(R, Data, Size, Frame, Info);
      Out.insert(Out.end(), Frame, Frame + std::min(kMTFrameSamples, Count - Done));
      ++Info.Frames;
    }
    Info.Consumed = R.Align();
  }

private:
  void DecodeFrame(TMTBitReader& R, const uint8_t* Data, size_t Size, int16_t* Samples,
                   TChannelBlockInfo& Info) {
    uint8_t Marker = 0;
    if (FVariant.PcmCapable)
      Marker = static_cast<uint8_t>(R.Bits(8));
    if (!FTables) {
      TMTStreamHeader Header;
      ReadMTStreamHeader(R, Header);
      FTables.emplace(Header);
    }
    TMTFrame F;
    ReadMTFrame(R, *FTables, F);
    TMTSegments Seg = MTSegments(F, FState.RC);
    for (unsigned I = 0; I < 4; ++I)
      MTBuildSubframe(*FTables, F.Sub[I], I, FState);
    float Output[kMTFrameSamples];
    MTSynthesize(Seg, FState, 0, kMTFrameSamples, Output);
    MTEndFrame(FState);
    for (size_t N = 0; N < kMTFrameSamples; ++N)
      Samples[N] = MTToSample(Output[N]);
    if (FVariant.PcmCapable)
      R.Align();
    if (Marker == 0xEE) {
      ReadRawPatch(R, Data, Size, Samples);
      ++Info.RawFrames;
    }
  }

  // Samples stored as they are replace part of the synthesised frame; the decoder's state is unchanged.
  static void ReadRawPatch(TMTBitReader& R, const uint8_t* Data, size_t Size, int16_t* Samples) {
    auto BE16 = [&]() {
      size_t At = R.BytePosition();
      if (At + 2 > Size)
        throw EConvertError("Damaged EA stream: MicroTalk raw samples cut off");
      R.SeekByte(At + 2);
      return static_cast<uint16_t>(Data[At] << 8 | Data[At + 1]);
    };
    const size_t Offset = BE16(), Count = BE16();
    if (Offset > kMTFrameSamples || Count > kMTFrameSamples - Offset)
      throw EConvertError("Damaged EA stream: MicroTalk raw samples outside their frame");
    for (size_t I = 0; I < Count; ++I)
      Samples[Offset + I] = static_cast<int16_t>(BE16());
  }

  TEAVariant FVariant;
  std::optional<TMTTables> FTables;
  TMTState FState;
};

} // namespace

std::unique_ptr<TChannelDecoder> MakeMicroTalkDecoder(TEAVariant Variant) {
  return std::make_unique<TMTDecoder>(Variant);
}

} // namespace sx
