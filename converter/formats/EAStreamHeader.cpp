#include "converter/formats/EAStreamHeader.h"

namespace sx {
namespace {

void PutTagValue(Bytes& Out, uint8_t Tag, uint32_t Value) {
  uint8_t Length = Value > 0xFFFFFF ? 4 : Value > 0xFFFF ? 3 : Value > 0xFF ? 2 : 1;
  Out.push_back(Tag);
  Out.push_back(Length);
  for (int I = Length - 1; I >= 0; --I)
    Out.push_back(static_cast<uint8_t>(Value >> (8 * I)));
}

uint32_t ReadValue(TByteReader& R, size_t Length) {
  const uint8_t* P = R.Take(Length);
  uint32_t Value = 0;
  for (size_t I = 0; I < Length; ++I)
    Value = Value << 8 | P[I];
  return Value;
}

void Apply(TEAHeader& H, uint8_t Tag, uint32_t V) {
  switch (Tag) {
  case 0x80:
    H.Version = static_cast<int>(V);
    break;
  case 0x81:
    H.Bits = V;
    break;
  case 0x82:
    H.Channels = V;
    break;
  case 0x83:
    H.Codec1 = static_cast<int>(V);
    break;
  case 0x84:
    H.SampleRate = V;
    break;
  case 0x85:
    H.HasSampleCount = true;
    H.SampleCount = V;
    break;
  case 0xA0:
    H.Codec2 = static_cast<int>(V);
    break;
  default:
    break;
  }
}

// Codec-2 numbering of the old codec-1 ids, -1 for those without one here.
int Codec1To2(int Codec1, unsigned Bits) {
  switch (Codec1) {
  case 0x00:
    return Bits == 8 ? 0x02 : 0x00;
  case 0x07:
    return 0x03;
  case 0x09:
    return 0x04;
  default:
    return -1;
  }
}

} // namespace

Bytes WriteEAHeaderBlock(TEACodec Codec, unsigned Channels, uint32_t SampleRate, uint32_t SampleCount) {
  Bytes Out;
  Out.reserve(48);
  PutTag(Out, "SCHl");
  PutLE32(Out, 0);
  Out.insert(Out.end(), {'P', 'T', 0, 0, 0x06, 0x01, 0x65, 0xFD});
  PutTagValue(Out, 0x80, 3);
  PutTagValue(Out, 0x82, Channels);
  PutTagValue(Out, 0x84, SampleRate);
  PutTagValue(Out, 0x85, SampleCount);
  PutTagValue(Out, 0xA0, static_cast<uint8_t>(Codec));
  Out.push_back(0xFF);
  while (Out.size() % 4)
    Out.push_back(0);
  SetLE32(Out, 4, static_cast<uint32_t>(Out.size()));
  return Out;
}

TEAHeader ParseEAHeader(TByteReader& R) {
  if (R.Left() < 4 || R.Tag().compare(0, 2, "PT") != 0)
    throw EConvertError("Unsupported EA stream: no PT header");
  R.Seek(R.Position() - 2);
  TEAHeader H;
  H.Platform = R.LE16();
  while (true) {
    uint8_t Tag = R.U8();
    if (Tag == 0xFF || Tag == 0xFE)
      return H;
    if (Tag == 0xFC || Tag == 0xFD)
      continue;
    size_t Length = R.U8();
    if (Length == 0xFF)
      Length = R.BE32();
    if (Length > 4)
      R.Skip(Length);
    else
      Apply(H, Tag, ReadValue(R, Length));
  }
}

TEALayout ResolveEALayout(const TEAHeader& H) {
  const int Version = H.Version < 0 ? 0 : H.Version;
  int Codec = H.Codec2 >= 0   ? H.Codec2
              : H.Codec1 >= 0 ? Codec1To2(H.Codec1, H.Bits)
              : Version == 0  ? -2
                              : 0x0A;
  if (Codec == -2)
    Codec = H.Bits == 8 ? 0x02 : 0x00;
  if (H.Channels < 1 || H.Channels > 8 || H.SampleRate < 1 || H.SampleRate > 1000000)
    throw EConvertError("Damaged EA stream header");
  TEALayout L;
  const bool Desktop = H.Platform == 0 || H.Platform == 3;
  L.Variant.PcmCapable = Version >= 3 || (Version == 2 && Desktop);
  L.OffsetTable = Version >= 1;
  if (Codec == 0x00 || Codec == 0x02) {
    if (Version != 0)
      throw EConvertError("Unsupported EA stream: interleaved PCM with version " + std::to_string(Version));
    L.Interleaved = true;
    L.EightBit = Codec == 0x02;
    L.Codec = Codec == 0x02 ? TEACodec::PcmS8 : TEACodec::PcmS16LE;
    return L;
  }
  switch (Codec) {
  case 0x07:
  case 0x08:
  case 0x09:
  case 0x0A:
  case 0x04:
  case 0x16:
    if (!L.OffsetTable)
      throw EConvertError("Unsupported EA stream: version 0 layout of codec " + std::to_string(Codec));
    L.Codec = static_cast<TEACodec>(Codec);
    return L;
  default:
    throw EConvertError("Unsupported EA stream codec " + std::to_string(Codec));
  }
}

std::vector<size_t> EABlockSampleCounts(uint32_t SampleRate, size_t Total, size_t F) {
  std::vector<size_t> Counts;
  uint64_t Done = 0;
  for (uint64_t K = 1; Done < Total; ++K) {
    uint64_t Frames = (K * SampleRate + 15 * F - 1) / (15 * F);
    uint64_t End = std::min<uint64_t>(Total, F * Frames);
    if (End == Done)
      continue;
    Counts.push_back(static_cast<size_t>(End - Done));
    Done = End;
  }
  if (Counts.size() > 1 && Counts.back() < F) {
    Counts[Counts.size() - 2] += Counts.back();
    Counts.pop_back();
  }
  // FFmpeg cannot open a stream of a single data block: a short sound of two frames or more gets two.
  if (Counts.size() == 1 && Total >= 2 * F) {
    Counts[0] = F * (Total / F / 2);
    Counts.push_back(Total - Counts[0]);
  }
  return Counts;
}

} // namespace sx
