#include "converter/codecs/EAXA.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace sx {
namespace {

constexpr int32_t kC1[4] = {0, 240, 460, 392};
constexpr int32_t kC2[4] = {0, 0, -208, -220};
// Shifts 13..15 decode too, but their steps of less than one unit reach no output that shift 12 cannot.
constexpr int kMaxShift = 12;

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
// gives up as soon as the error reaches Limit. For shifts up to 12 the code's term d * 2^(20 - s) is a
// multiple of 256, so the decoder's floor((d * 2^(20 - s) + p) / 256) is exactly d * step + floor(p / 256)
// with step = 2^(12 - s): the candidates are the two grid points around the input.
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

void Try(const int16_t* X, int F, int S, TEAXAState State, int64_t Limit, TTrial& Out) {
  const int Bits = 12 - S;
  int64_t Error = 0;
  uint8_t Codes[kEAXAFrameSamples];
  int32_t H1 = State.H1, H2 = State.H2;
  for (size_t I = 0; I < kEAXAFrameSamples; ++I) {
    const int32_t Target = X[I];
    int32_t D;
    const int32_t Y = Nearest(Target, (kC1[F] * H1 + kC2[F] * H2) >> 8, Bits, D);
    Error += int64_t(Y - Target) * (Y - Target);
    if (Error >= Limit)
      return;
    Codes[I] = static_cast<uint8_t>(D & 15);
    H2 = H1;
    H1 = Y;
  }
  Out.Error = Error;
  std::copy(Codes, Codes + kEAXAFrameSamples, Out.Codes);
  Out.End = {H1, H2};
}

// The open-loop prediction residual of filter F over the frame: its energy ranks the filters, and its
// peak gives the finest shift whose code range covers it.
struct TEstimate {
  int64_t Energy = 0;
  int Shift = kMaxShift;
};

TEstimate Estimate(const int16_t* X, int F, TEAXAState State) {
  TEstimate E;
  int64_t Peak = 0;
  int32_t H1 = State.H1, H2 = State.H2;
  for (size_t I = 0; I < kEAXAFrameSamples; ++I) {
    const int64_t R = int64_t(X[I]) - ((kC1[F] * H1 + kC2[F] * H2) >> 8);
    Peak = std::max<int64_t>(Peak, R < 0 ? -R : R);
    E.Energy += R * R;
    H2 = H1;
    H1 = X[I];
  }
  while (E.Shift > 0 && (int64_t(8) << (12 - E.Shift)) < Peak)
    --E.Shift;
  return E;
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
  TEstimate Est[4];
  int Order[4] = {0, 1, 2, 3};
  for (int F = 0; F < 4; ++F)
    Est[F] = Estimate(X, F, State);
  std::sort(Order, Order + 4, [&](int A, int B) { return Est[A].Energy < Est[B].Energy; });
  // Every pair is tried, the likeliest first, so that a tight limit is known early and the other trials
  // stop after a few samples: each filter at its estimated shift, then the shifts further and further
  // from the estimate.
  // Every trial's first sample depends only on the filter: its error, found for all pairs at once, lets
  // most trials be skipped without being started.
  int64_t FirstError[4][kMaxShift + 1];
  for (int F = 0; F < 4; ++F) {
    const int32_t Base = (kC1[F] * State.H1 + kC2[F] * State.H2) >> 8;
    for (int S = 0; S <= kMaxShift; ++S) {
      int32_t D;
      const int64_t E = Nearest(X[0], Base, 12 - S, D) - X[0];
      FirstError[F][S] = E * E;
    }
  }
  TTrial Trials[2];
  int BestIndex = -1, BestF = 0, BestS = 0;
  auto Consider = [&](int F, int S) {
    if (BestIndex >= 0 && FirstError[F][S] >= Trials[BestIndex].Error)
      return;
    TTrial& Trial = Trials[BestIndex == 0 ? 1 : 0];
    Trial.Error = INT64_MAX;
    Try(X, F, S, State, BestIndex < 0 ? INT64_MAX : Trials[BestIndex].Error, Trial);
    if (Trial.Error != INT64_MAX) {
      BestIndex = static_cast<int>(&Trial - Trials);
      BestF = F;
      BestS = S;
    }
  };
  for (int F : Order)
    Consider(F, Est[F].Shift);
  for (int Distance = 1; Distance <= kMaxShift; ++Distance)
    for (int F : Order)
      for (int S : {Est[F].Shift + Distance, Est[F].Shift - Distance})
        if (S >= 0 && S <= kMaxShift)
          Consider(F, S);
  const TTrial& Best = Trials[BestIndex];
  Out[0] = static_cast<uint8_t>(BestF << 4 | BestS);
  for (size_t I = 0; I < kEAXAFrameSamples; I += 2)
    Out[1 + I / 2] = static_cast<uint8_t>(Best.Codes[I] << 4 | Best.Codes[I + 1]);
  State = Best.End;
}

} // namespace sx
