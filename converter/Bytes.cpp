#include "converter/Bytes.h"

namespace sx {

TByteReader::TByteReader(const Bytes& Data, size_t Begin, size_t End, const char* What)
    : FData(Data), FPos(Begin), FEnd(End), FWhat(What) {
  if (End > Data.size() || Begin > End)
    Truncated();
}

void TByteReader::Truncated() const {
  throw EConvertError(std::string("Truncated ") + FWhat + " file");
}

std::string HexBytes(const std::string& Raw) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string Text;
  for (unsigned char C : Raw) {
    if (!Text.empty())
      Text += ' ';
    Text += kDigits[C >> 4];
    Text += kDigits[C & 15];
  }
  return Text;
}

std::string TByteReader::TruncatedWarning(size_t Kept, const char* Units) const {
  return std::string("Truncated ") + FWhat + " file: kept the " + std::to_string(Kept) + " complete " +
         Units + " before the cut";
}

void TByteReader::Seek(size_t Position) {
  if (Position > FEnd)
    Truncated();
  FPos = Position;
}

void TByteReader::Skip(size_t Count) {
  if (Count > Left())
    Truncated();
  FPos += Count;
}

const uint8_t* TByteReader::Take(size_t Count) {
  if (Count > Left())
    Truncated();
  const uint8_t* At = FData.data() + FPos;
  FPos += Count;
  return At;
}

uint16_t TByteReader::LE16() {
  return LoadLE16(Take(2));
}

uint32_t TByteReader::LE32() {
  return LoadLE32(Take(4));
}

uint16_t TByteReader::BE16() {
  return LoadBE16(Take(2));
}

uint32_t TByteReader::BE32() {
  return LoadBE32(Take(4));
}

std::string TByteReader::Tag() {
  const uint8_t* P = Take(4);
  return std::string(reinterpret_cast<const char*>(P), 4);
}

void CheckWritable(const TAudio& Audio) {
  if (Audio.Channels < 1 || Audio.Channels > 2)
    throw EConvertError("Only mono and stereo sound can be written");
  if (Audio.SampleRate < 1 || Audio.SampleRate > 1000000)
    throw EConvertError("Sample rate out of range: " + std::to_string(Audio.SampleRate));
  if (Audio.Samples.size() % Audio.Channels != 0)
    throw EConvertError("Sound data does not hold whole frames");
}

} // namespace sx
