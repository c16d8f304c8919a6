#pragma once
// The bit-level pieces FLAC's reader and writer share: the frame header's CRC-8 (polynomial x^8 + x^2 + x +
// 1), the frame's CRC-16 (x^16 + x^15 + x^2 + 1), both from 0 and most significant bit first, and readers and
// writers of big-endian bit fields.

#include "converter/Audio.h"

#include <array>

namespace sx {

namespace flac {

// Channel assignments of a stereo frame: left/side, side/right, mid/side (below them, independent
// channels, the count less one).
constexpr unsigned kLeftSide = 8, kSideRight = 9, kMidSide = 10;
// The sample rates of the frame header's codes 0 to 11 (0: the stream's own).
constexpr uint32_t kRates[12] = {0,     88200, 176400, 192000, 8000,  16000,
                                 22050, 24000, 32000,  44100,  48000, 96000};
// Metadata block types.
constexpr uint8_t kStreamInfo = 0, kVorbisComment = 4, kInvalidBlock = 127;

constexpr std::array<uint8_t, 256> MakeCrc8Table() {
  std::array<uint8_t, 256> Table{};
  for (unsigned I = 0; I < 256; ++I) {
    unsigned C = I;
    for (int B = 0; B < 8; ++B)
      C = (C & 0x80) ? (C << 1) ^ 0x07 : C << 1;
    Table[I] = static_cast<uint8_t>(C);
  }
  return Table;
}

// Eight tables: Table[0] for one byte, Table[k] for a byte followed by k zero bytes, so that eight bytes are
// taken at once.
constexpr std::array<std::array<uint16_t, 256>, 8> MakeCrc16Tables() {
  std::array<std::array<uint16_t, 256>, 8> T{};
  for (unsigned I = 0; I < 256; ++I) {
    unsigned C = I << 8;
    for (int B = 0; B < 8; ++B)
      C = (C & 0x8000) ? (C << 1) ^ 0x8005 : C << 1;
    T[0][I] = static_cast<uint16_t>(C);
  }
  for (unsigned K = 1; K < 8; ++K)
    for (unsigned I = 0; I < 256; ++I)
      T[K][I] = static_cast<uint16_t>(T[K - 1][I] << 8 ^ T[0][T[K - 1][I] >> 8]);
  return T;
}

inline constexpr std::array<uint8_t, 256> kCrc8 = MakeCrc8Table();
inline constexpr std::array<std::array<uint16_t, 256>, 8> kCrc16 = MakeCrc16Tables();

} // namespace flac

inline uint8_t FlacCrc8(const uint8_t* Data, size_t Size) {
  uint8_t Crc = 0;
  for (size_t I = 0; I < Size; ++I)
    Crc = flac::kCrc8[Crc ^ Data[I]];
  return Crc;
}

inline uint16_t FlacCrc16(const uint8_t* Data, size_t Size) {
  const auto& T = flac::kCrc16;
  unsigned Crc = 0;
  for (; Size >= 8; Data += 8, Size -= 8)
    Crc = T[7][(Crc >> 8) ^ Data[0]] ^ T[6][(Crc & 0xFF) ^ Data[1]] ^ T[5][Data[2]] ^ T[4][Data[3]] ^
          T[3][Data[4]] ^ T[2][Data[5]] ^ T[1][Data[6]] ^ T[0][Data[7]];
  for (; Size > 0; ++Data, --Size)
    Crc = (Crc << 8 ^ T[0][(Crc >> 8) ^ *Data]) & 0xFFFF;
  return static_cast<uint16_t>(Crc);
}

// Thrown by the bit reader when a field runs past the end of the data; the frame's reader names the frame.
struct TFlacCut {};

// Reads big-endian bit fields from Data[0, Size), starting at a byte position. The fields read are kept
// in a 64-bit cache whose unread bits are at the top and whose bits below them are zero.
class TFlacBitReader {
public:
  TFlacBitReader(const uint8_t* Data, size_t Size, size_t Position)
      : FData(Data), FSize(Size), FNext(Position) {}

  // N bits (0 to 32) as an unsigned number.
  uint32_t Bits(unsigned N) {
    if (N == 0)
      return 0;
    if (FCount < N) {
      Refill();
      if (FCount < N)
        throw TFlacCut{};
    }
    const uint32_t V = static_cast<uint32_t>(FCache >> (64 - N));
    FCache <<= N;
    FCount -= N;
    return V;
  }

  // N bits (0 to 32) as a two's complement number.
  int32_t Signed(unsigned N) {
    if (N == 0)
      return 0;
    const uint32_t V = Bits(N);
    return N == 32 ? static_cast<int32_t>(V) : static_cast<int32_t>(V << (32 - N)) >> (32 - N);
  }

  // The number of zero bits before the next one bit, which is read too; more than Limit zeros is damage,
  // reported by returning a value above Limit.
  uint64_t Unary(uint64_t Limit) {
    uint64_t Zeros = 0;
    while (FCache == 0) {
      Zeros += FCount;
      FCount = 0;
      if (Zeros > Limit)
        return Zeros;
      Refill();
      if (FCount == 0)
        throw TFlacCut{};
    }
    const unsigned Lead = static_cast<unsigned>(__builtin_clzll(FCache));
    FCache = FCache << Lead << 1;
    FCount -= Lead + 1;
    return Zeros + Lead;
  }

  // Count Rice-coded residuals of parameter K (0 to 30), folded back to signed, into Out. A value whose
  // folded form passes 32 bits returns false.
  bool Rice(int32_t* Out, size_t Count, unsigned K) {
    const uint64_t Limit = (uint64_t(1) << (32 - K)) - 1; // quotients that keep the value within 32 bits
    for (size_t I = 0; I < Count; ++I) {
      if (FCount < 48)
        Refill();
      if (FCache != 0) {
        // The common case: the quotient's end and the low bits are in the cache.
        const unsigned Lead = static_cast<unsigned>(__builtin_clzll(FCache));
        if (Lead + 1 + K <= FCount && Lead <= Limit) {
          FCache = FCache << Lead << 1;
          const uint32_t U = static_cast<uint32_t>(uint64_t(Lead) << K | (K ? FCache >> (64 - K) : 0));
          FCache = K ? FCache << K : FCache;
          FCount -= Lead + 1 + K;
          Out[I] = static_cast<int32_t>(U >> 1) ^ -static_cast<int32_t>(U & 1);
          continue;
        }
      }
      const uint64_t Q = Unary(Limit);
      if (Q > Limit)
        return false;
      const uint32_t U = static_cast<uint32_t>(Q << K | Bits(K));
      Out[I] = static_cast<int32_t>(U >> 1) ^ -static_cast<int32_t>(U & 1);
    }
    return true;
  }

  // Skips to the next byte boundary.
  void Align() {
    const unsigned Drop = FCount % 8;
    FCache <<= Drop;
    FCount -= Drop;
  }
  // The byte position of the next bit to read (after Align).
  size_t BytePosition() const { return FNext - FCount / 8; }

private:
  void Refill() {
    if (FNext + 8 <= FSize) {
      uint64_t Word = 0;
      for (int I = 0; I < 8; ++I)
        Word = Word << 8 | FData[FNext + I];
      const unsigned Take = (64 - FCount) / 8;
      FCache |= Word >> FCount;
      FNext += Take;
      FCount += 8 * Take;
      if (FCount < 64)
        FCache &= ~(~uint64_t(0) >> FCount);
      return;
    }
    while (FCount <= 56 && FNext < FSize) {
      FCache |= uint64_t(FData[FNext++]) << (56 - FCount);
      FCount += 8;
    }
  }

  const uint8_t* FData;
  size_t FSize;
  size_t FNext;
  uint64_t FCache = 0;
  unsigned FCount = 0;
};

// Appends big-endian bit fields to a byte vector.
class TFlacBitWriter {
public:
  explicit TFlacBitWriter(Bytes& Out) : FOut(Out) {}

  // The low N bits (0 to 32) of V.
  void Bits(uint32_t V, unsigned N) {
    if (N == 0)
      return;
    const uint64_t Field = uint64_t(V) & ((uint64_t(1) << N) - 1);
    if (FCount + N > 64)
      Flush();
    FCache |= Field << (64 - FCount - N);
    FCount += N;
  }
  void Signed(int32_t V, unsigned N) { Bits(static_cast<uint32_t>(V), N); }

  // Count zero bits and a one.
  void Unary(uint32_t Count) {
    while (Count >= 32) {
      Bits(0, 32);
      Count -= 32;
    }
    Bits(1, Count + 1);
  }

  // Residual Value with Rice parameter K (0 to 30).
  void Rice(int32_t Value, unsigned K) {
    const uint32_t U = static_cast<uint32_t>(Value) << 1 ^ static_cast<uint32_t>(Value >> 31);
    const uint32_t Q = U >> K;
    if (Q + 1 + K <= 32) {
      Bits((1u << K) | (U & ((1u << K) - 1)), Q + 1 + K);
    } else {
      Unary(Q);
      Bits(U, K);
    }
  }

  // Zero bits to the next byte boundary, and everything written into the vector.
  void Align() {
    Bits(0, (8 - FCount % 8) % 8);
    Flush();
  }

private:
  void Flush() {
    while (FCount >= 8) {
      FOut.push_back(static_cast<uint8_t>(FCache >> 56));
      FCache <<= 8;
      FCount -= 8;
    }
  }

  Bytes& FOut;
  uint64_t FCache = 0;
  unsigned FCount = 0;
};

} // namespace sx
