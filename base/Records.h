#pragma once
// Little-endian records of the project's own small files (the write journal, the manifests of kept
// originals and of soundtrack packs): a writer that appends fields, a reader that never reads past its
// bytes, and the CRC-32 that seals them.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The CRC-32 of IEEE 802.3 (reflected, polynomial 0xEDB88320), continued from Crc (0 to start).
uint32_t Crc32(const uint8_t* Bytes, size_t Count, uint32_t Crc = 0);

class TRecordWriter {
public:
  // The characters of Magic, without a terminating zero.
  TRecordWriter& Magic(const char* Magic);
  TRecordWriter& U8(uint8_t V);
  TRecordWriter& U32(uint32_t V);
  TRecordWriter& I64(int64_t V);
  // A u32 length, then the bytes.
  TRecordWriter& Bytes(const std::vector<uint8_t>& B);
  TRecordWriter& Text(const std::string& S);
  const std::vector<uint8_t>& Result() const { return FBytes; }
  // The bytes written, then the CRC-32 of them (little-endian) that seals them.
  std::vector<uint8_t> Sealed() const;

private:
  std::vector<uint8_t> FBytes;
};

// Reads fields of a payload; a field that runs past the end gives zero or empty and marks the payload as
// damaged, so that a caller checks Whole() once at the end. A length is checked against the bytes left
// before anything is copied.
class TRecordReader {
public:
  explicit TRecordReader(std::vector<uint8_t> B) : FBytes(std::move(B)) {}
  uint8_t U8();
  uint32_t U32();
  int64_t I64();
  std::vector<uint8_t> Bytes();
  std::string Text();
  // Every field read was whole, and every byte was read.
  bool Whole() const { return FGood && FAt == FBytes.size(); }
  // Every field read was whole, and bytes remain.
  bool More() const { return FGood && FAt < FBytes.size(); }
  size_t Left() const { return FGood ? FBytes.size() - FAt : 0; }
  // The next byte, without reading it; 0 at the end.
  uint8_t Peek() const { return Left() > 0 ? FBytes[FAt] : 0; }

private:
  bool Need(size_t Count);
  std::vector<uint8_t> FBytes;
  size_t FAt = 0;
  bool FGood = true;
};

// How a sealed record (a magic, a body, the CRC-32 of both) reads.
enum class TSeal {
  NoMagic, // too short, or another magic
  Broken,  // the checksum does not match
  Whole,
};
// The state of Bytes as a record with Magic and a body of at least MinBody bytes.
TSeal CheckSeal(const std::vector<uint8_t>& Bytes, const char* Magic, size_t MinBody = 0);
// The body of a record whose CheckSeal is Whole.
TRecordReader SealedBody(const std::vector<uint8_t>& Bytes, const char* Magic);
