#include "base/Records.h"

#include "base/ByteOrder.h"

#include <array>
#include <cstring>

// Eight tables, so that eight bytes are folded in per step (slicing-by-8): T[0] is the classic byte
// table, T[K][I] the CRC of byte I followed by K zero bytes.
uint32_t Crc32(const uint8_t* Bytes, size_t Count, uint32_t Crc) {
  static const std::array<std::array<uint32_t, 256>, 8> T = [] {
    std::array<std::array<uint32_t, 256>, 8> Tables{};
    for (uint32_t I = 0; I < 256; ++I) {
      uint32_t C = I;
      for (int K = 0; K < 8; ++K)
        C = (C & 1) ? 0xEDB88320u ^ (C >> 1) : C >> 1;
      Tables[0][I] = C;
    }
    for (uint32_t I = 0; I < 256; ++I)
      for (size_t K = 1; K < 8; ++K)
        Tables[K][I] = (Tables[K - 1][I] >> 8) ^ Tables[0][Tables[K - 1][I] & 0xFF];
    return Tables;
  }();
  Crc = ~Crc;
  for (; Count >= 8; Count -= 8, Bytes += 8) {
    uint32_t Low = Crc ^ (uint32_t(Bytes[0]) | uint32_t(Bytes[1]) << 8 | uint32_t(Bytes[2]) << 16 |
                          uint32_t(Bytes[3]) << 24);
    Crc = T[7][Low & 0xFF] ^ T[6][(Low >> 8) & 0xFF] ^ T[5][(Low >> 16) & 0xFF] ^ T[4][Low >> 24] ^
          T[3][Bytes[4]] ^ T[2][Bytes[5]] ^ T[1][Bytes[6]] ^ T[0][Bytes[7]];
  }
  for (; Count > 0; --Count, ++Bytes)
    Crc = T[0][(Crc ^ *Bytes) & 0xFF] ^ (Crc >> 8);
  return ~Crc;
}

TRecordWriter& TRecordWriter::Magic(const char* Magic) {
  for (const char* C = Magic; *C != '\0'; ++C)
    U8(static_cast<uint8_t>(*C));
  return *this;
}

std::vector<uint8_t> TRecordWriter::Sealed() const {
  std::vector<uint8_t> Bytes = FBytes;
  PutLE32(Bytes, Crc32(Bytes.data(), Bytes.size()));
  return Bytes;
}

TRecordWriter& TRecordWriter::U8(uint8_t V) {
  FBytes.push_back(V);
  return *this;
}

TRecordWriter& TRecordWriter::U32(uint32_t V) {
  PutLE32(FBytes, V);
  return *this;
}

TRecordWriter& TRecordWriter::I64(int64_t V) {
  U32(static_cast<uint32_t>(static_cast<uint64_t>(V)));
  return U32(static_cast<uint32_t>(static_cast<uint64_t>(V) >> 32));
}

TRecordWriter& TRecordWriter::Bytes(const std::vector<uint8_t>& B) {
  U32(static_cast<uint32_t>(B.size()));
  FBytes.insert(FBytes.end(), B.begin(), B.end());
  return *this;
}

TRecordWriter& TRecordWriter::Text(const std::string& S) {
  return Bytes(std::vector<uint8_t>(S.begin(), S.end()));
}

bool TRecordReader::Need(size_t Count) {
  FGood = FGood && FBytes.size() - FAt >= Count;
  return FGood;
}

uint8_t TRecordReader::U8() {
  if (!Need(1))
    return 0;
  return FBytes[FAt++];
}

uint32_t TRecordReader::U32() {
  if (!Need(4))
    return 0;
  uint32_t V = LoadLE32(&FBytes[FAt]);
  FAt += 4;
  return V;
}

int64_t TRecordReader::I64() {
  uint64_t Low = U32();
  uint64_t High = U32();
  return static_cast<int64_t>(Low | (High << 32));
}

std::vector<uint8_t> TRecordReader::Bytes() {
  uint32_t Count = U32();
  if (!Need(Count))
    return {};
  std::vector<uint8_t> B(FBytes.begin() + static_cast<std::ptrdiff_t>(FAt),
                         FBytes.begin() + static_cast<std::ptrdiff_t>(FAt + Count));
  FAt += Count;
  return B;
}

std::string TRecordReader::Text() {
  std::vector<uint8_t> B = Bytes();
  return std::string(B.begin(), B.end());
}

TSeal CheckSeal(const std::vector<uint8_t>& Bytes, const char* Magic, size_t MinBody) {
  const size_t Length = std::strlen(Magic);
  if (Bytes.size() < Length + MinBody + 4 || std::memcmp(Bytes.data(), Magic, Length) != 0)
    return TSeal::NoMagic;
  return Crc32(Bytes.data(), Bytes.size() - 4) == LoadLE32(&Bytes[Bytes.size() - 4]) ? TSeal::Whole
                                                                                     : TSeal::Broken;
}

TRecordReader SealedBody(const std::vector<uint8_t>& Bytes, const char* Magic) {
  const auto Start = static_cast<std::ptrdiff_t>(std::strlen(Magic));
  return TRecordReader(std::vector<uint8_t>(Bytes.begin() + Start, Bytes.end() - 4));
}
