#include "converter/formats/FlacReader.h"

#include "converter/Bytes.h"
#include "converter/Md5.h"
#include "converter/codecs/FlacBits.h"
#include "converter/codecs/FlacDecoder.h"
#include "converter/formats/PcmDecode.h"

#include <bit>
#include <cmath>

namespace sx {
namespace {

using flac::kInvalidBlock;
using flac::kStreamInfo;
constexpr size_t kStreamInfoSize = 34;
// The most samples a converted sound may hold: what a Wave file of 16-bit samples can.
constexpr uint64_t kMostSamples = (uint64_t(1) << 31) - 64;

TFlacStreamInfo ReadStreamInfo(const uint8_t* P) {
  TFlacStreamInfo I;
  I.MinBlock = LoadBE16(P);
  I.MaxBlock = LoadBE16(P + 2);
  I.MinFrame = uint32_t(P[4]) << 16 | P[5] << 8 | P[6];
  I.MaxFrame = uint32_t(P[7]) << 16 | P[8] << 8 | P[9];
  I.SampleRate = uint32_t(P[10]) << 12 | P[11] << 4 | P[12] >> 4;
  I.Channels = ((P[12] >> 1) & 7) + 1;
  I.Bits = ((P[12] & 1) << 4 | P[13] >> 4) + 1;
  I.TotalSamples = uint64_t(P[13] & 15) << 32 | LoadBE32(P + 14);
  std::copy(P + 18, P + 34, I.Md5.begin());
  return I;
}

// The weights of FLAC's channel orders of 3 to 8 channels.
std::vector<TMixWeight> FlacMixWeights(unsigned Channels) {
  const double H = std::sqrt(0.5);
  const TMixWeight L{1, 0}, R{0, 1}, C{H, H}, Lfe{0, 0}, SideL{H, 0}, SideR{0, H};
  switch (Channels) {
  case 3:
    return {L, R, C};
  case 4:
    return {L, R, SideL, SideR};
  case 5:
    return {L, R, C, SideL, SideR};
  case 6:
    return {L, R, C, Lfe, SideL, SideR};
  case 7:
    return {L, R, C, Lfe, C, SideL, SideR}; // the back centre
  default:
    return {L, R, C, Lfe, SideL, SideR, SideL, SideR};
  }
}

// A sample of Bits bits as 16 bits: shifted up, or rounded (halves away from zero) and clamped.
inline int16_t To16(int32_t V, unsigned Bits) {
  if (Bits <= 16)
    return static_cast<int16_t>(V * (1 << (16 - Bits)));
  const unsigned Shift = Bits - 16;
  const int32_t Half = 1 << (Shift - 1);
  return Clamp16(V >= 0 ? (V + Half) >> Shift : -((Half - V) >> Shift));
}

// The decoded frames turned into the sound and into the bytes the MD5 covers.
class TFrameSink {
public:
  TFrameSink(const TFlacStreamInfo& Info, TAudio& Audio)
      : FInfo(Info), FAudio(Audio), FBytes((Info.Bits + 7) / 8), FMix(FlacMixWeights(Info.Channels)) {}

  void Add(const TFlacFrameDecoder& D) {
    const unsigned Block = D.Frame().BlockSize, Channels = FInfo.Channels;
    // 16-bit samples of one or two channels are, on a little-endian machine, the very bytes the MD5 covers.
    const bool Same = FInfo.Bits == 16 && Channels <= 2 && std::endian::native == std::endian::little;
    if (FCheckMd5 && !Same)
      AddToMd5(D, Block);
    if (Channels <= 2) {
      const size_t At = FAudio.Samples.size();
      FAudio.Samples.resize(At + size_t(Block) * Channels);
      int16_t* Out = FAudio.Samples.data() + At;
      for (unsigned C = 0; C < Channels; ++C) {
        const int32_t* In = D.Channel(C);
        if (FInfo.Bits == 16)
          for (unsigned I = 0; I < Block; ++I)
            Out[size_t(I) * Channels + C] = static_cast<int16_t>(In[I]);
        else
          for (unsigned I = 0; I < Block; ++I)
            Out[size_t(I) * Channels + C] = To16(In[I], FInfo.Bits);
      }
      if (FCheckMd5 && Same)
        FMd5.Add(reinterpret_cast<const uint8_t*>(Out), size_t(Block) * Channels * 2);
      return;
    }
    const double Scale = std::ldexp(1.0, 32 - static_cast<int>(FInfo.Bits));
    double Frame[8];
    for (unsigned I = 0; I < Block; ++I) {
      for (unsigned C = 0; C < Channels; ++C)
        Frame[C] = D.Channel(C)[I] * Scale;
      FMix.Mix(Frame, FAudio.Samples);
    }
  }

  // True when the stream's digest matches the samples added, or is not known.
  bool Md5Matches() { return !FCheckMd5 || FMd5.Finish() == FInfo.Md5; }

private:
  void AddToMd5(const TFlacFrameDecoder& D, unsigned Block) {
    const unsigned Channels = FInfo.Channels;
    FPcm.resize(size_t(Block) * Channels * FBytes);
    uint8_t* Out = FPcm.data();
    for (unsigned I = 0; I < Block; ++I)
      for (unsigned C = 0; C < Channels; ++C) {
        const uint32_t V = static_cast<uint32_t>(D.Channel(C)[I]);
        for (unsigned B = 0; B < FBytes; ++B)
          *Out++ = static_cast<uint8_t>(V >> (8 * B));
      }
    FMd5.Add(FPcm.data(), FPcm.size());
  }

  const TFlacStreamInfo& FInfo;
  TAudio& FAudio;
  const unsigned FBytes;
  const TStereoMix FMix;
  const bool FCheckMd5 = FInfo.Md5 != std::array<uint8_t, 16>{};
  TMd5 FMd5;
  Bytes FPcm;
};

std::string FrameName(uint64_t Index, size_t Position) {
  return "frame " + std::to_string(Index + 1) + " (at byte " + std::to_string(Position) + ")";
}

} // namespace

size_t FlacMarker(const Bytes& Data) {
  if (HasTag(Data, 0, "fLaC"))
    return 0;
  if (Data.size() < 10 || Data[0] != 'I' || Data[1] != 'D' || Data[2] != '3')
    return SIZE_MAX;
  // An ID3v2 tag: 10 bytes of header, a size in four 7-bit bytes, and a 10-byte footer when flag 0x10 is set.
  const size_t Size = 10 +
                      (size_t(Data[6] & 0x7F) << 21 | size_t(Data[7] & 0x7F) << 14 |
                       size_t(Data[8] & 0x7F) << 7 | (Data[9] & 0x7F)) +
                      ((Data[5] & 0x10) ? 10 : 0);
  return HasTag(Data, Size, "fLaC") ? Size : SIZE_MAX;
}

TAudio ReadFlac(const Bytes& Data) {
  const size_t Marker = FlacMarker(Data);
  if (Marker == SIZE_MAX)
    throw EConvertError("Not a FLAC file");
  TByteReader R(Data, "FLAC");
  R.Seek(Marker + 4);
  TFlacStreamInfo Info;
  bool Found = false, Last = false;
  while (!Last) {
    const uint8_t Head = R.U8();
    const uint8_t* SizeBytes = R.Take(3);
    const size_t Length = size_t(SizeBytes[0]) << 16 | SizeBytes[1] << 8 | SizeBytes[2];
    const uint8_t Type = Head & 0x7F;
    Last = (Head & 0x80) != 0;
    if (!Found && Type != kStreamInfo)
      throw EConvertError("Damaged FLAC file: its metadata does not start with the stream information");
    if (Type == kInvalidBlock || (Type == kStreamInfo && (Found || Length != kStreamInfoSize)))
      throw EConvertError("Damaged FLAC file: a metadata block of an invalid type or size");
    if (Type == kStreamInfo) {
      Info = ReadStreamInfo(R.Take(kStreamInfoSize));
      Found = true;
    } else {
      R.Skip(Length);
    }
  }
  if (Info.SampleRate == 0 || Info.Bits < 4)
    throw EConvertError("Damaged FLAC stream information");
  if (Info.Bits > 24)
    throw EConvertError("Unsupported FLAC sample size: " + std::to_string(Info.Bits) + " bits");

  TAudio Audio;
  Audio.SampleRate = Info.SampleRate;
  Audio.Channels = Info.Channels > 2 ? 2 : Info.Channels;
  // Room for the samples the stream information announces, but never more than the file could hold
  // at a few bits a sample: the announcement is not to be trusted.
  Audio.Samples.reserve(
      static_cast<size_t>(std::min<uint64_t>(Info.TotalSamples * Audio.Channels, uint64_t(Data.size()) * 8)));
  TFlacFrameDecoder Decoder(Info);
  TFrameSink Sink(Info, Audio);
  uint64_t Done = 0, Index = 0;
  size_t Position = R.Position();
  const uint64_t Total = Info.TotalSamples;
  while (Position < Data.size() && (Total == 0 || Done < Total)) {
    const bool Sync =
        Data[Position] == 0xFF && Position + 1 < Data.size() && (Data[Position + 1] & 0xFC) == 0xF8;
    if (Total == 0 && !Sync)
      break; // the end of a stream of unknown length, before an ID3v1 tag or the like
    size_t Next = 0;
    try {
      Next = Decoder.Decode(Data.data(), Data.size(), Position);
    } catch (const TFlacCut&) {
      throw EConvertError("Truncated FLAC file: " + FrameName(Index, Position) + " is cut off");
    } catch (const TFlacDamage& D) {
      throw EConvertError("Damaged FLAC file: " + FrameName(Index, Position) + " " + D.What);
    }
    const TFlacFrame& F = Decoder.Frame();
    if (F.Number != (F.Variable ? Done : Index))
      throw EConvertError("Damaged FLAC file: " + FrameName(Index, Position) + " is out of sequence");
    if (Total != 0 && Done + F.BlockSize > Total)
      throw EConvertError("Damaged FLAC file: " + FrameName(Index, Position) +
                          " holds more samples than its stream information gives");
    if ((Done + F.BlockSize) * Audio.Channels > kMostSamples)
      throw EConvertError("The FLAC file's sound is too long to convert");
    Sink.Add(Decoder);
    Done += F.BlockSize;
    ++Index;
    Position = Next;
  }
  if (Done < Total)
    throw EConvertError("Truncated FLAC file: it ends after " + std::to_string(Done) + " of its " +
                        std::to_string(Total) + " samples");
  if (!Sink.Md5Matches())
    throw EConvertError(
        "Damaged FLAC file: its decoded samples do not match the MD5 in its stream information");
  return Audio;
}

} // namespace sx
