#include "converter/formats/AiffReader.h"

#include "converter/Bytes.h"
#include "converter/formats/AiffExtended.h"
#include "converter/formats/PcmDecode.h"

namespace sx {
namespace {

struct TCommon {
  bool Found = false;
  uint32_t Frames = 0;
  uint32_t Rate = 0;
  TPcmLayout Layout;
};

void ReadCompression(TByteReader& R, TCommon& C) {
  std::string Type = R.Tag();
  if (Type == "NONE" || Type == "twos")
    return;
  if (Type == "sowt") {
    C.Layout.BigEndian = false;
  } else if (Type == "fl32" || Type == "FL32") {
    C.Layout.Encoding = TPcmEncoding::Float;
  } else {
    throw EConvertError("Unsupported AIFF-C compression type " + HexBytes(Type));
  }
}

TCommon ReadCommon(TByteReader& R, uint32_t Size, bool Compressed) {
  if (Size < (Compressed ? 22u : 18u))
    throw EConvertError("Damaged AIFF common chunk");
  TCommon C;
  C.Found = true;
  C.Layout.Channels = R.BE16();
  C.Frames = R.BE32();
  C.Layout.Bits = R.BE16();
  C.Layout.BigEndian = true;
  C.Rate = ReadExtended(R.Take(10));
  if (Compressed)
    ReadCompression(R, C);
  // Every field the size arithmetic uses is checked here, before the sound data is reached.
  if (C.Layout.Channels == 0 || C.Rate == 0 || C.Layout.Bits == 0 || C.Layout.Bits > 32)
    throw EConvertError("Damaged AIFF common chunk");
  // Sample sizes that are not whole bytes are stored left-aligned in the next whole byte.
  C.Layout.Bits = (C.Layout.Bits + 7) / 8 * 8;
  CheckPcmLayout(C.Layout);
  return C;
}

} // namespace

bool IsAiff(const Bytes& Data) {
  return HasTag(Data, 0, "FORM") && (HasTag(Data, 8, "AIFF") || HasTag(Data, 8, "AIFC"));
}

TAudio ReadAiff(const Bytes& Data) {
  TByteReader R(Data, "AIFF");
  R.Skip(8);
  const bool Compressed = R.Tag() == "AIFC";
  TCommon Common;
  while (true) {
    std::string Id = R.Tag();
    uint32_t Size = R.BE32();
    size_t Body = R.Position();
    if (Id == "COMM") {
      Common = ReadCommon(R, Size, Compressed);
    } else if (Id == "SSND") {
      if (!Common.Found)
        throw EConvertError("AIFF sound data before its common chunk");
      uint32_t Offset = R.BE32();
      R.BE32(); // block size
      R.Skip(Offset);
      const size_t FrameSize = size_t(Common.Layout.Channels) * (Common.Layout.Bits / 8);
      return ReadFrames(R, Common.Frames, FrameSize, Common.Layout, Common.Rate);
    }
    R.Seek(Body);
    R.Skip(Size + (Size & 1));
  }
}

} // namespace sx
