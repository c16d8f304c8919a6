#pragma once
// Little- and big-endian numbers in byte buffers: the archives are big-endian, the definition and the
// journal little-endian, the converter reads and writes both. The caller checks that the bytes are there.

#include <cstdint>
#include <vector>

inline uint16_t LoadLE16(const uint8_t* P) {
  return static_cast<uint16_t>(P[0] | P[1] << 8);
}

inline uint32_t LoadLE32(const uint8_t* P) {
  return uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24;
}

inline uint16_t LoadBE16(const uint8_t* P) {
  return static_cast<uint16_t>(P[0] << 8 | P[1]);
}

inline uint32_t LoadBE32(const uint8_t* P) {
  return uint32_t(P[0]) << 24 | uint32_t(P[1]) << 16 | uint32_t(P[2]) << 8 | uint32_t(P[3]);
}

inline void StoreLE32(uint8_t* P, uint32_t Value) {
  for (int I = 0; I < 4; ++I)
    P[I] = static_cast<uint8_t>(Value >> (8 * I));
}

inline void StoreBE32(uint8_t* P, uint32_t Value) {
  for (int I = 0; I < 4; ++I)
    P[I] = static_cast<uint8_t>(Value >> (8 * (3 - I)));
}

// Appends Value to Out.
inline void PutLE16(std::vector<uint8_t>& Out, uint32_t Value) {
  Out.push_back(static_cast<uint8_t>(Value));
  Out.push_back(static_cast<uint8_t>(Value >> 8));
}

inline void PutLE32(std::vector<uint8_t>& Out, uint32_t Value) {
  PutLE16(Out, Value & 0xFFFF);
  PutLE16(Out, Value >> 16);
}

inline void PutBE16(std::vector<uint8_t>& Out, uint32_t Value) {
  Out.push_back(static_cast<uint8_t>(Value >> 8));
  Out.push_back(static_cast<uint8_t>(Value));
}

inline void PutBE32(std::vector<uint8_t>& Out, uint32_t Value) {
  PutBE16(Out, Value >> 16);
  PutBE16(Out, Value & 0xFFFF);
}
