#include "converter/formats/EAStreamReader.h"

#include "converter/Bytes.h"

#include <algorithm>

namespace sx {
namespace {

constexpr const char* kWhat = "EA stream";

struct TBlock {
  std::string Id;
  size_t Payload = 0;
  size_t End = 0;
};

uint32_t Swap32(uint32_t V) {
  return V >> 24 | (V >> 8 & 0xFF00) | (V << 8 & 0xFF0000) | V << 24;
}

TBlock NextBlock(TByteReader& R, bool BigEndian) {
  TBlock B;
  B.Id = R.Tag();
  uint32_t Size = R.LE32();
  if (BigEndian)
    Size = Swap32(Size);
  if (Size < 8)
    throw EConvertError("Damaged EA stream: block size " + std::to_string(Size));
  B.Payload = R.Position();
  if (Size - 8 > R.Left())
    R.Truncated();
  B.End = B.Payload + Size - 8;
  return B;
}

// True if the data from At on holds the next block whole. A block size below 8 counts as whole: it is
// damage, which NextBlock reports.
bool NextBlockIsWhole(const Bytes& Data, size_t At, bool BigEndian) {
  if (Data.size() - At < 8)
    return false;
  uint32_t Size = TByteReader(Data, At + 4, At + 8, kWhat).LE32();
  if (BigEndian)
    Size = Swap32(Size);
  return Size < 8 || Size <= Data.size() - At;
}

// Each channel's data runs from its offset to the next higher offset, or to the block's end.
size_t ChannelEnd(const std::vector<size_t>& Starts, size_t Start, size_t BlockEnd) {
  size_t End = BlockEnd;
  for (size_t S : Starts)
    if (S > Start && S < End)
      End = S;
  return End;
}

void DecodeInterleaved(TByteReader& R, const TEALayout& L, unsigned Channels, size_t Count, TAudio& Audio) {
  const size_t Width = L.EightBit ? 1 : 2;
  if (Count > R.Left() / (Width * Channels))
    throw EConvertError("Damaged EA stream: PCM block shorter than its sample count");
  const uint8_t* P = R.Take(Count * Channels * Width);
  for (size_t I = 0; I < Count * Channels; ++I)
    Audio.Samples.push_back(L.EightBit ? static_cast<int16_t>(static_cast<int8_t>(P[I]) * 256)
                                       : static_cast<int16_t>(P[2 * I] | P[2 * I + 1] << 8));
}

class TBlockDecoder {
public:
  TBlockDecoder(const TEAHeader& H, const TEALayout& L) : FHeader(H), FLayout(L) {
    if (!L.Interleaved)
      for (unsigned C = 0; C < H.Channels; ++C)
        FDecoders.push_back(MakeDecoder(L.Codec, L.Variant));
    FChannels.resize(H.Channels);
  }

  void Decode(const Bytes& Data, const TBlock& B, TAudio& Audio, TEAStreamInfo* Info) {
    TByteReader R(Data, B.Payload, B.End, kWhat);
    const size_t Count = R.LE32();
    TEABlockInfo BlockInfo;
    BlockInfo.Samples = Count;
    if (FLayout.Interleaved) {
      DecodeInterleaved(R, FLayout, FHeader.Channels, Count, Audio);
    } else {
      DecodeChannels(Data, R, Count, B.End, BlockInfo);
      Interleave(Count, Audio);
    }
    FFirst = false;
    if (Info)
      Info->Blocks.push_back(std::move(BlockInfo));
  }

private:
  void DecodeChannels(const Bytes& Data, TByteReader& R, size_t Count, size_t BlockEnd, TEABlockInfo& Info) {
    std::vector<size_t> Starts;
    for (unsigned C = 0; C < FHeader.Channels; ++C)
      Starts.push_back(R.LE32());
    const size_t Base = R.Position();
    for (size_t& S : Starts) {
      if (S > BlockEnd - Base)
        throw EConvertError("Damaged EA stream: channel offset outside its block");
      S += Base;
    }
    for (unsigned C = 0; C < FHeader.Channels; ++C) {
      const size_t End = ChannelEnd(Starts, Starts[C], BlockEnd);
      TChannelBlockInfo CI;
      CI.Available = End - Starts[C];
      FChannels[C].clear();
      FDecoders[C]->Decode(Data.data() + Starts[C], CI.Available, Count, FFirst, FChannels[C], CI);
      CI.TrailingZero = std::all_of(Data.begin() + Starts[C] + CI.Consumed, Data.begin() + End,
                                    [](uint8_t V) { return V == 0; });
      Info.Channels.push_back(CI);
    }
  }

  void Interleave(size_t Count, TAudio& Audio) {
    for (size_t I = 0; I < Count; ++I)
      for (unsigned C = 0; C < FHeader.Channels; ++C)
        Audio.Samples.push_back(FChannels[C][I]);
  }

  const TEAHeader& FHeader;
  const TEALayout& FLayout;
  std::vector<std::unique_ptr<TChannelDecoder>> FDecoders;
  std::vector<std::vector<int16_t>> FChannels;
  bool FFirst = true;
};

// Keeps at most two channels: of a stream with more, the first two (EA streams name no channel roles).
void ReduceToStereo(TAudio& Audio, unsigned Channels) {
  if (Channels <= 2)
    return;
  std::vector<int16_t> Stereo;
  for (size_t F = 0; F < Audio.Samples.size() / Channels; ++F)
    for (unsigned C = 0; C < 2; ++C)
      Stereo.push_back(Audio.Samples[F * Channels + C]);
  Audio.Samples = std::move(Stereo);
  Audio.Channels = 2;
}

} // namespace

bool IsEAStream(const Bytes& Data) {
  return HasTag(Data, 0, "SCHl");
}

TAudio ReadEAStream(const Bytes& Data, TEAStreamInfo* Info) {
  TByteReader R(Data, kWhat);
  if (R.Tag() != "SCHl")
    throw EConvertError("Not an EA stream");
  uint32_t First = R.LE32();
  const bool BigEndian = First > Swap32(First);
  R.Seek(0);
  TBlock Head = NextBlock(R, BigEndian);
  TByteReader HR(Data, Head.Payload, Head.End, kWhat);
  const TEAHeader Header = ParseEAHeader(HR);
  const TEALayout Layout = ResolveEALayout(Header);
  TEAStreamInfo Local;
  TEAStreamInfo& I = Info ? *Info : Local;
  I.Header = Header;
  I.Layout = Layout;
  TAudio Audio;
  Audio.SampleRate = Header.SampleRate;
  Audio.Channels = Header.Channels;
  // Room for the samples the header states, as far as the data can hold them (no codec makes more than
  // five samples of a byte), so that a long song is not copied as it grows.
  if (Header.HasSampleCount)
    Audio.Samples.reserve(
        std::min<uint64_t>(uint64_t(Header.SampleCount) * Header.Channels, Data.size() * 6));
  TBlockDecoder Decoder(I.Header, I.Layout);
  bool Cut = false;
  for (R.Seek(Head.End);;) {
    // As players do, a stream cut off inside a block gives the samples of the blocks before it.
    if (!NextBlockIsWhole(Data, R.Position(), BigEndian)) {
      Cut = true;
      break;
    }
    TBlock B = NextBlock(R, BigEndian);
    if (B.Id == "SCEl")
      break;
    if (B.Id == "SCDl")
      Decoder.Decode(Data, B, Audio, &I);
    else if (B.Id == "SCCl" && B.End - B.Payload >= 4)
      I.CountField = TByteReader(Data, B.Payload, B.End, kWhat).LE32();
    R.Seek(B.End);
  }
  const size_t Frames = Audio.Samples.size() / Header.Channels;
  if (Header.HasSampleCount) {
    if (Frames < Header.SampleCount && !Cut)
      throw EConvertError("Damaged EA stream: fewer samples than its header states");
    Audio.Samples.resize(std::min<size_t>(Frames, Header.SampleCount) * Header.Channels);
  }
  ReduceToStereo(Audio, Header.Channels);
  if (Cut)
    Audio.Warnings.push_back(R.TruncatedWarning(Audio.Frames(), "sample frames"));
  return Audio;
}

} // namespace sx
