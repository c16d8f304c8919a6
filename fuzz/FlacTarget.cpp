// Any input read as FLAC, as given and again with its checks made to pass: every frame's CRC-8 and CRC-16
// computed anew (a frame taken to end where the next sync code starts) and the MD5 of the stream
// information cleared, so that mutations reach the decoding behind them. The reader returns sound every
// writer takes or raises the converter's error.
#include "converter/codecs/FlacBits.h"
#include "converter/formats/FlacReader.h"
#include "fuzz/SxTarget.h"

namespace {

// The length of the frame header at Data[At] before its CRC-8, or 0 when none can start there.
size_t HeaderLength(const fuzz::Bytes& Data, size_t At) {
  if (Data.size() - At < 6 || Data[At] != 0xFF || (Data[At + 1] & 0xFE) != 0xF8)
    return 0;
  size_t Number = 1;
  while (Number < 7 && (Data[At + 4] & (0x80 >> (Number - 1))) && (Data[At + 4] & (0x80 >> Number)))
    ++Number;
  const unsigned Block = Data[At + 2] >> 4, Rate = Data[At + 2] & 15;
  const size_t Length = 4 + Number +
                        (Block == 6   ? 1
                         : Block == 7 ? 2
                                      : 0) +
                        (Rate == 12                 ? 1
                         : Rate >= 13 && Rate <= 14 ? 2
                                                    : 0);
  return Length < Data.size() - At ? Length : 0;
}

fuzz::Bytes Mended(fuzz::Bytes Data) {
  const size_t Marker = sx::FlacMarker(Data);
  if (Marker == SIZE_MAX || Data.size() < Marker + 8 + 34)
    return Data;
  std::fill(Data.begin() + Marker + 8 + 18, Data.begin() + Marker + 8 + 34, 0); // MD5 unknown
  std::vector<size_t> Frames;
  for (size_t At = Marker + 42; At + 1 < Data.size(); ++At)
    if (HeaderLength(Data, At) != 0)
      Frames.push_back(At);
  for (size_t I = 0; I < Frames.size(); ++I) {
    const size_t At = Frames[I], Length = HeaderLength(Data, At);
    Data[At + Length] = sx::FlacCrc8(Data.data() + At, Length);
    const size_t End = I + 1 < Frames.size() ? Frames[I + 1] : Data.size();
    if (End >= At + Length + 3) {
      const uint16_t Crc = sx::FlacCrc16(Data.data() + At, End - 2 - At);
      Data[End - 2] = static_cast<uint8_t>(Crc >> 8);
      Data[End - 1] = static_cast<uint8_t>(Crc);
    }
  }
  return Data;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  fuzz::ReadSound(Data, Size, [](const sx::Bytes& In) { return sx::ReadFlac(In); });
  const fuzz::Bytes Fixed = Mended(fuzz::Bytes(Data, Data + Size));
  return fuzz::ReadSound(Fixed.data(), Fixed.size(), [](const sx::Bytes& In) { return sx::ReadFlac(In); });
}
