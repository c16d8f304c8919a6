#include "converter/formats/WaveReader.h"

#include "converter/Bytes.h"
#include "converter/formats/PcmDecode.h"

namespace sx {
namespace {

constexpr uint16_t kTagPcm = 1;
constexpr uint16_t kTagFloat = 3;
constexpr uint16_t kTagExtensible = 0xFFFE;

struct TWaveFormat {
  bool Found = false;
  uint16_t Tag = 0;
  TPcmLayout Layout;
  uint32_t Rate = 0;
  uint16_t BlockAlign = 0;
};

TWaveFormat ReadFormat(TByteReader& R, uint32_t Size) {
  if (Size < 16)
    throw EConvertError("Damaged Wave format chunk");
  TWaveFormat F;
  F.Found = true;
  F.Tag = R.LE16();
  F.Layout.Channels = R.LE16();
  F.Rate = R.LE32();
  R.LE32(); // byte rate
  F.BlockAlign = R.LE16();
  F.Layout.Bits = R.LE16();
  if (F.Tag == kTagExtensible) {
    if (Size < 40)
      throw EConvertError("Damaged Wave format chunk");
    R.Skip(8);        // extension size, valid bits, channel mask
    F.Tag = R.LE16(); // the sub-format GUID starts with the plain format tag
  }
  if (F.Tag == kTagFloat)
    F.Layout.Encoding = TPcmEncoding::Float;
  else if (F.Tag == kTagPcm)
    F.Layout.Encoding = F.Layout.Bits == 8 ? TPcmEncoding::Unsigned : TPcmEncoding::Signed;
  else
    throw EConvertError("Unsupported Wave encoding (format tag " + std::to_string(F.Tag) + ")");
  return F;
}

// Every field the size arithmetic uses, before it is used: channels, rate and a supported depth, and a
// block of exactly one sample per channel.
void CheckFormat(const TWaveFormat& F) {
  if (F.Layout.Channels == 0 || F.Rate == 0 || F.Layout.Bits == 0)
    throw EConvertError("Damaged Wave format chunk");
  CheckPcmLayout(F.Layout);
  if (F.BlockAlign != F.Layout.Channels * (F.Layout.Bits / 8))
    throw EConvertError("Damaged Wave format chunk");
}

} // namespace

bool IsWave(const Bytes& Data) {
  return HasTag(Data, 0, "RIFF") && HasTag(Data, 8, "WAVE");
}

TAudio ReadWave(const Bytes& Data) {
  TByteReader R(Data, "Wave");
  R.Skip(12);
  TWaveFormat Format;
  while (true) {
    std::string Id = R.Tag();
    uint32_t Size = R.LE32();
    size_t Body = R.Position();
    if (Id == "fmt ") {
      Format = ReadFormat(R, Size);
    } else if (Id == "data") {
      if (!Format.Found)
        throw EConvertError("Wave data before its format chunk");
      CheckFormat(Format);
      size_t Frames = Size / Format.BlockAlign;
      return ReadFrames(R, Frames, Format.BlockAlign, Format.Layout, Format.Rate);
    }
    R.Seek(Body);
    R.Skip(Size + (Size & 1));
  }
}

} // namespace sx
