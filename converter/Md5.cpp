#include "converter/Md5.h"

#include <cstring>

namespace sx {
namespace {

// The per-step left rotations and the constants floor(2^32 * |sin(i + 1)|) of RFC 1321.
constexpr unsigned kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

constexpr uint32_t Rotate(uint32_t V, unsigned N) {
  return V << N | V >> (32 - N);
}

} // namespace

TMd5::TMd5() : FState{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476} {}

// One of the 64 steps: A = B + ((A + F(B, C, D) + X[K] + T) <<< S), with the step's own F, K, S and T.
template <unsigned I, class TF>
inline void Step(uint32_t& A, uint32_t B, uint32_t C, uint32_t D, const uint32_t* X, TF F) {
  constexpr unsigned K = I < 16 ? I : I < 32 ? (5 * I + 1) % 16 : I < 48 ? (3 * I + 5) % 16 : (7 * I) % 16;
  A = B + Rotate(A + F(B, C, D) + X[K] + kSine[I], kShift[I]);
}

// Four steps of one round, the registers turning one place each step.
template <unsigned I, class TF>
inline void Four(uint32_t& A, uint32_t& B, uint32_t& C, uint32_t& D, const uint32_t* X, TF F) {
  Step<I>(A, B, C, D, X, F);
  Step<I + 1>(D, A, B, C, X, F);
  Step<I + 2>(C, D, A, B, X, F);
  Step<I + 3>(B, C, D, A, X, F);
}

void TMd5::Block(const uint8_t* P) {
  uint32_t X[16];
  for (int I = 0; I < 16; ++I)
    X[I] = uint32_t(P[4 * I]) | uint32_t(P[4 * I + 1]) << 8 | uint32_t(P[4 * I + 2]) << 16 |
           uint32_t(P[4 * I + 3]) << 24;
  uint32_t A = FState[0], B = FState[1], C = FState[2], D = FState[3];
  const auto F = [](uint32_t X, uint32_t Y, uint32_t Z) { return Z ^ (X & (Y ^ Z)); };
  const auto G = [](uint32_t X, uint32_t Y, uint32_t Z) { return Y ^ (Z & (X ^ Y)); };
  const auto H = [](uint32_t X, uint32_t Y, uint32_t Z) { return X ^ Y ^ Z; };
  const auto J = [](uint32_t X, uint32_t Y, uint32_t Z) { return Y ^ (X | ~Z); };
  Four<0>(A, B, C, D, X, F);
  Four<4>(A, B, C, D, X, F);
  Four<8>(A, B, C, D, X, F);
  Four<12>(A, B, C, D, X, F);
  Four<16>(A, B, C, D, X, G);
  Four<20>(A, B, C, D, X, G);
  Four<24>(A, B, C, D, X, G);
  Four<28>(A, B, C, D, X, G);
  Four<32>(A, B, C, D, X, H);
  Four<36>(A, B, C, D, X, H);
  Four<40>(A, B, C, D, X, H);
  Four<44>(A, B, C, D, X, H);
  Four<48>(A, B, C, D, X, J);
  Four<52>(A, B, C, D, X, J);
  Four<56>(A, B, C, D, X, J);
  Four<60>(A, B, C, D, X, J);
  FState[0] += A;
  FState[1] += B;
  FState[2] += C;
  FState[3] += D;
}

void TMd5::Add(const uint8_t* Data, size_t Size) {
  FLength += Size;
  if (FBuffered > 0) {
    const size_t Take = Size < 64 - FBuffered ? Size : 64 - FBuffered;
    std::memcpy(FBuffer + FBuffered, Data, Take);
    FBuffered += Take;
    Data += Take;
    Size -= Take;
    if (FBuffered < 64)
      return;
    Block(FBuffer);
    FBuffered = 0;
  }
  for (; Size >= 64; Data += 64, Size -= 64)
    Block(Data);
  std::memcpy(FBuffer, Data, Size);
  FBuffered = Size;
}

std::array<uint8_t, 16> TMd5::Finish() {
  const uint64_t Bits = FLength * 8;
  uint8_t Pad[72] = {0x80};
  const size_t PadLength = (FBuffered < 56 ? 56 : 120) - FBuffered;
  for (int I = 0; I < 8; ++I)
    Pad[PadLength + I] = static_cast<uint8_t>(Bits >> (8 * I));
  Add(Pad, PadLength + 8);
  std::array<uint8_t, 16> Digest;
  for (int I = 0; I < 16; ++I)
    Digest[I] = static_cast<uint8_t>(FState[I / 4] >> (8 * (I % 4)));
  return Digest;
}

} // namespace sx
