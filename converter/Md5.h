#pragma once
// MD5 (RFC 1321), for the digest of the decoded samples that FLAC's stream information carries.

#include <array>
#include <cstddef>
#include <cstdint>

namespace sx {

class TMd5 {
public:
  TMd5();
  void Add(const uint8_t* Data, size_t Size);
  // The digest of everything added; the object is spent after it.
  std::array<uint8_t, 16> Finish();

private:
  void Block(const uint8_t* P);

  uint32_t FState[4];
  uint64_t FLength = 0; // bytes added
  uint8_t FBuffer[64];
  size_t FBuffered = 0;
};

} // namespace sx
