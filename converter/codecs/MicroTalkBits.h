#pragma once
// The bit order of MicroTalk: bits are taken from the least significant end of each byte, and an n-bit
// field has its first bit as its least significant bit.

#include "converter/Audio.h"

namespace sx {

class TMTBitReader {
public:
  TMTBitReader(const uint8_t* Data, size_t Size) : FData(Data), FSize(Size) {}

  unsigned Bit() {
    if (FBit >= FSize * 8)
      throw EConvertError("Damaged EA stream: MicroTalk frame runs past its block");
    unsigned B = FData[FBit / 8] >> (FBit % 8) & 1;
    ++FBit;
    return B;
  }
  unsigned Bits(unsigned Count) {
    unsigned V = 0;
    for (unsigned I = 0; I < Count; ++I)
      V |= Bit() << I;
    return V;
  }
  // Moves to the next byte boundary and returns the byte position.
  size_t Align() {
    FBit = (FBit + 7) / 8 * 8;
    return FBit / 8;
  }
  size_t BytePosition() const { return FBit / 8; }
  void SeekByte(size_t Position) { FBit = Position * 8; }

private:
  const uint8_t* FData;
  size_t FSize;
  size_t FBit = 0;
};

// Appends bits to Out (when given) and counts them.
class TMTBitWriter {
public:
  explicit TMTBitWriter(Bytes* Out) : FOut(Out) {}

  void Bit(unsigned B) {
    if (FOut) {
      if (FCount % 8 == 0)
        FOut->push_back(0);
      FOut->back() = static_cast<uint8_t>(FOut->back() | (B & 1) << (FCount % 8));
    }
    ++FCount;
  }
  void Bits(unsigned Value, unsigned Count) {
    for (unsigned I = 0; I < Count; ++I)
      Bit(Value >> I & 1);
  }
  // A prefix code written first bit first, given as text of '0' and '1'.
  void Code(const char* Text) {
    for (; *Text; ++Text)
      Bit(*Text == '1');
  }
  // Ends the current byte (the next bit starts a new one).
  void Align() { FCount = (FCount + 7) / 8 * 8; }
  size_t Count() const { return FCount; }

private:
  Bytes* FOut;
  size_t FCount = 0;
};

} // namespace sx
