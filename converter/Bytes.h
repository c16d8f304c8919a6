#pragma once
// Bounds-checked reading of little- and big-endian numbers from a byte buffer, and appending them to one.
// A read past the end raises EConvertError with "Truncated <what> file" so that a cut-off input always
// reports the format it was recognised as.

#include "base/ByteOrder.h"
#include "converter/Audio.h"

#include <cstring>

namespace sx {

class TByteReader {
public:
  // Reads Data[Begin, End); What names the format in the truncation message.
  TByteReader(const Bytes& Data, size_t Begin, size_t End, const char* What);
  TByteReader(const Bytes& Data, const char* What) : TByteReader(Data, 0, Data.size(), What) {}

  size_t Position() const { return FPos; }
  size_t End() const { return FEnd; }
  size_t Left() const { return FEnd - FPos; }
  void Seek(size_t Position);
  void Skip(size_t Count);

  // The next Count bytes; raises when fewer are left.
  const uint8_t* Take(size_t Count);
  uint8_t U8() { return *Take(1); }
  uint16_t LE16();
  uint32_t LE32();
  uint16_t BE16();
  uint32_t BE32();
  // A four-character code as text.
  std::string Tag();

  [[noreturn]] void Truncated() const;
  // The warning of a reader that keeps Kept complete Units from before the cut of a truncated file.
  std::string TruncatedWarning(size_t Kept, const char* Units) const;
  const char* What() const { return FWhat; }

private:
  const Bytes& FData;
  size_t FPos;
  size_t FEnd;
  const char* FWhat;
};

inline void PutTag(Bytes& Out, const char* Tag) {
  Out.insert(Out.end(), Tag, Tag + 4);
}
inline void SetLE32(Bytes& Out, size_t At, uint32_t V) {
  StoreLE32(&Out[At], V);
}
inline void SetBE32(Bytes& Out, size_t At, uint32_t V) {
  StoreBE32(&Out[At], V);
}

// Bytes of the input for a message, as hexadecimal pairs separated by blanks ("73 6F 77 74").
std::string HexBytes(const std::string& Raw);

// True if Data holds Tag at Offset.
inline bool HasTag(const Bytes& Data, size_t Offset, const char* Tag) {
  return Data.size() >= Offset + 4 && std::memcmp(Data.data() + Offset, Tag, 4) == 0;
}

} // namespace sx
