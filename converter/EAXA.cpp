#include "converter/EAXA.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace sx {
namespace {

constexpr int32_t kC1[4] = {0, 240, 460, 392};
constexpr int32_t kC2[4] = {0, 0, -208, -220};
constexpr int kMaxShift = 12; // 13..15 decode, but coarser steps than 1 unit gain nothing for 16-bit input

inline int32_t Clamp(int32_t V) {
  return V < -32768 ? -32768 : V > 32767 ? 32767 : V;
}

inline int32_t Reconstruct(int32_t Code, int Shift, int32_t Prediction, int32_t Round) {
  return Clamp((Code * (1 << (20 - Shift)) + Prediction + Round) >> 8);
}

struct TTrial {
  int64_t Error = INT64_MAX;
  uint8_t Codes[kEAXAFrameSamples];
  TEAXAState End;
};

// Runs the decoder's arithmetic for filter F and shift S, choosing each code to land nearest the input;
// gives up as soon as the error passes Limit.
void Try(const int16_t* X, int F, int S, TEAXAState State, int64_t Limit, TTrial& Out) {
  const int Shift = 20 - S;
  int64_t Error = 0;
  uint8_t Codes[kEAXAFrameSamples];
  for (size_t I = 0; I < kEAXAFrameSamples; ++I) {
    const int32_t P = kC1[F] * State.H1 + kC2[F] * State.H2;
    // floor((256x - p) / 2^shift) lands at or below x; one code up lands at or above it.
    int32_t D = static_cast<int32_t>((int64_t(X[I]) * 256 - P) >> Shift);
    D = D < -8 ? -8 : D > 7 ? 7 : D;
    int32_t Y = Reconstruct(D, S, P, 0);
    if (D < 7) {
      int32_t Up = Reconstruct(D + 1, S, P, 0);
      if (std::abs(Up - X[I]) < std::abs(Y - X[I])) {
        Y = Up;
        ++D;
      }
    }
    Error += int64_t(Y - X[I]) * (Y - X[I]);
    if (Error >= Limit)
      return;
    Codes[I] = static_cast<uint8_t>(D & 15);
    State.H2 = State.H1;
    State.H1 = Y;
  }
  Out.Error = Error;
  std::copy(Codes, Codes + kEAXAFrameSamples, Out.Codes);
  Out.End = State;
}

// The finest shift whose code range covers the largest open-loop residual of filter F.
int EstimateShift(const int16_t* X, int F, TEAXAState State) {
  int64_t Peak = 0;
  int32_t H1 = State.H1, H2 = State.H2;
  for (size_t I = 0; I < kEAXAFrameSamples; ++I) {
    int64_t R = std::llabs(int64_t(X[I]) * 256 - (kC1[F] * H1 + kC2[F] * H2));
    Peak = R > Peak ? R : Peak;
    H2 = H1;
    H1 = X[I];
  }
  int S = kMaxShift;
  while (S > 0 && (int64_t(8) << (20 - S)) < Peak)
    --S;
  return S;
}

} // namespace

size_t DecodeEAXAFrame(const uint8_t* Frame, size_t Available, TEAXAState& State, int16_t* Out,
                       TEAXAVariant Variant) {
  if (Available < 1)
    return 0;
  if (Frame[0] == 0xEE && Variant.RawFrames) {
    if (Available < kEAXARawFrameBytes)
      return 0;
    auto BE16 = [&](size_t At) { return static_cast<int16_t>(Frame[At] << 8 | Frame[At + 1]); };
    State.H1 = BE16(1);
    State.H2 = BE16(3);
    for (size_t I = 0; I < kEAXAFrameSamples; ++I)
      Out[I] = BE16(5 + 2 * I);
    return kEAXARawFrameBytes;
  }
  const int F = Frame[0] >> 4, S = Frame[0] & 15;
  if (F > 3 || Available < kEAXAFrameBytes)
    return 0;
  const int32_t Round = Variant.Rounding ? 128 : 0;
  for (size_t I = 0; I < kEAXAFrameSamples; ++I) {
    uint8_t Byte = Frame[1 + I / 2];
    int32_t Code = (I % 2 == 0 ? Byte >> 4 : Byte & 15);
    Code = Code >= 8 ? Code - 16 : Code;
    int32_t Y = Reconstruct(Code, S, kC1[F] * State.H1 + kC2[F] * State.H2, Round);
    Out[I] = static_cast<int16_t>(Y);
    State.H2 = State.H1;
    State.H1 = Y;
  }
  return kEAXAFrameBytes;
}

void EncodeEAXAFrame(const int16_t* X, TEAXAState& State, uint8_t* Out) {
  TTrial Best, Trial;
  int BestF = 0, BestS = 0;
  int Estimate[4];
  for (int F = 0; F < 4; ++F)
    Estimate[F] = EstimateShift(X, F, State);
  // Estimated shifts first, so that a good limit is known early and most other trials stop after a
  // few samples; then every other pair.
  for (int Pass = 0; Pass < 2; ++Pass) {
    for (int F = 0; F < 4; ++F) {
      for (int S = 0; S <= kMaxShift; ++S) {
        if ((S == Estimate[F]) != (Pass == 0))
          continue;
        Try(X, F, S, State, Best.Error, Trial);
        if (Trial.Error < Best.Error) {
          Best = Trial;
          BestF = F;
          BestS = S;
        }
        Trial.Error = INT64_MAX;
      }
    }
  }
  Out[0] = static_cast<uint8_t>(BestF << 4 | BestS);
  for (size_t I = 0; I < kEAXAFrameSamples; I += 2)
    Out[1 + I / 2] = static_cast<uint8_t>(Best.Codes[I] << 4 | Best.Codes[I + 1]);
  State = Best.End;
}

} // namespace sx
