#pragma once
// The EA-XA decoder's arithmetic that the encoder's searches share: the filters, the clamp, and the code
// that lands nearest a sample.

#include <cstdint>
#include <cstdlib>

namespace sx::eaxa {

inline constexpr int32_t kC1[4] = {0, 240, 460, 392};
inline constexpr int32_t kC2[4] = {0, 0, -208, -220};
// Shifts 13..15 decode too, but their steps of less than one unit reach no output that shift 12 cannot.
inline constexpr int kMaxShift = 12;

inline int32_t Clamp(int32_t V) {
  return V < -32768 ? -32768 : V > 32767 ? 32767 : V;
}

// The code D in -8..7 whose output lands nearest Target, the lower of two equally near. For shifts up to
// 12 the code's term d * 2^(20 - s) is a multiple of 256, so the decoder's floor((d * 2^(20 - s) + p) / 256)
// is exactly d * step + floor(p / 256) with step = 2^(12 - s) = 2^Bits: the candidates are the two grid
// points around the input, each clamped to 16 bits as the decoder clamps it.
inline int32_t Nearest(int32_t Target, int32_t Base, int Bits, int32_t& D) {
  const int32_t Step = 1 << Bits;
  D = (Target - Base) >> Bits;
  D = D < -8 ? -8 : D > 7 ? 7 : D;
  const int32_t Raw = D * Step + Base;
  int32_t Y = Clamp(Raw);
  if (D < 7) {
    const int32_t Up = Clamp(Raw + Step);
    if (std::abs(Up - Target) < std::abs(Y - Target)) {
      Y = Up;
      ++D;
    }
  }
  return Y;
}

// True when a step either side of Y leaves the 16-bit range, where the decoder's clamp may make the
// rounded choice of NearestRounded differ from Nearest's.
inline bool NearLimits(int32_t Y, int32_t Step) {
  return uint32_t(Y - Step + 32768) > uint32_t(65535 - 2 * Step);
}

// The same choice without a data-dependent branch, which the processor would mispredict half the time.
// Away from the 16-bit limits the grid point nearest the input, the lower on a tie, is the input's offset
// from Base rounded half down to a multiple of the step; when a step either side of that point stays
// within 16 bits, neither candidate of Nearest is clamped, so both choose the same. Near the limits,
// Nearest decides.
inline int32_t NearestRounded(int32_t Target, int32_t Base, int Bits, int32_t& D) {
  const int32_t Step = 1 << Bits;
  int32_t Offset = (Target - Base + ((Step - 1) >> 1)) & -Step;
  Offset = Offset < -8 * Step ? -8 * Step : Offset > 7 * Step ? 7 * Step : Offset;
  const int32_t Y = Offset + Base;
  D = Offset >> Bits;
  if (NearLimits(Y, Step)) [[unlikely]]
    return Nearest(Target, Base, Bits, D);
  return Y;
}

// The filter's prediction from the last two outputs, as the decoder forms it.
inline int32_t Predict(int F, int32_t H1, int32_t H2) {
  return (kC1[F] * H1 + kC2[F] * H2) >> 8;
}

} // namespace sx::eaxa
