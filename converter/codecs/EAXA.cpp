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
  uint8_t Codes[kEAXAFrameSamples] = {};
  TEAXAState End;
};

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
  if (uint32_t(Y - Step + 32768) > uint32_t(65535 - 2 * Step)) [[unlikely]]
    return Nearest(Target, Base, Bits, D);
  return Y;
}

// Runs the decoder's arithmetic for filter F and shift S over the first Valid samples, choosing each code
// to land nearest the input; gives up as soon as the error reaches Limit or a sample misses by more than
// MaxMiss. The filter is a constant of each instance, so its products are by immediates (none for filter
// 0, which predicts nothing).
template <int F>
void Try(const int16_t* X, size_t Valid, int S, TEAXAState State, int64_t Limit, int32_t MaxMiss,
         TTrial& Out) {
  const int Bits = 12 - S;
  int64_t Error = 0;
  uint8_t Codes[kEAXAFrameSamples];
  int32_t H1 = State.H1, H2 = State.H2;
  for (size_t I = 0; I < Valid; ++I) {
    const int32_t Target = X[I];
    int32_t D;
    const int32_t Y = NearestRounded(Target, (kC1[F] * H1 + kC2[F] * H2) >> 8, Bits, D);
    const int32_t Miss = Y - Target;
    Error += int64_t(Miss) * Miss;
    if (Error >= Limit || uint32_t(Miss + MaxMiss) > uint32_t(2 * MaxMiss))
      return;
    Codes[I] = static_cast<uint8_t>(D & 15);
    H2 = H1;
    H1 = Y;
  }
  Out.Error = Error;
  std::copy(Codes, Codes + Valid, Out.Codes); // the padding's codes stay 0
  Out.End = {H1, H2};
}

void Try(const int16_t* X, size_t Valid, int F, int S, TEAXAState State, int64_t Limit, int32_t MaxMiss,
         TTrial& Out) {
  switch (F) {
  case 0:
    return Try<0>(X, Valid, S, State, Limit, MaxMiss, Out);
  case 1:
    return Try<1>(X, Valid, S, State, Limit, MaxMiss, Out);
  case 2:
    return Try<2>(X, Valid, S, State, Limit, MaxMiss, Out);
  default:
    return Try<3>(X, Valid, S, State, Limit, MaxMiss, Out);
  }
}

// The open-loop prediction residual of a filter over the frame: its energy ranks the filters, and its peak
// gives the finest shift whose code range covers it.
struct TEstimate {
  int64_t Energy = 0;
  int Shift = kMaxShift;
};

// All four filters in one pass over the frame, so that their sums proceed side by side.
void Estimate(const int16_t* X, size_t Valid, TEAXAState State, TEstimate* Est) {
  int64_t Peak[4] = {};
  int32_t H1 = State.H1, H2 = State.H2;
  for (size_t I = 0; I < Valid; ++I) {
    for (int F = 0; F < 4; ++F) {
      const int64_t R = int64_t(X[I]) - ((kC1[F] * H1 + kC2[F] * H2) >> 8);
      Peak[F] = std::max<int64_t>(Peak[F], R < 0 ? -R : R);
      Est[F].Energy += R * R;
    }
    H2 = H1;
    H1 = X[I];
  }
  for (int F = 0; F < 4; ++F)
    while (Est[F].Shift > 0 && (int64_t(8) << (12 - Est[F].Shift)) < Peak[F])
      --Est[F].Shift;
}

// A raw frame holding the samples as they are; the prediction goes on from the last two.
size_t WriteRawFrame(const int16_t* X, TEAXAState& State, uint8_t* Out) {
  auto PutBE16 = [&](size_t At, int16_t V) {
    Out[At] = static_cast<uint8_t>(uint16_t(V) >> 8);
    Out[At + 1] = static_cast<uint8_t>(V);
  };
  Out[0] = 0xEE;
  PutBE16(1, X[kEAXAFrameSamples - 1]);
  PutBE16(3, X[kEAXAFrameSamples - 2]);
  for (size_t I = 0; I < kEAXAFrameSamples; ++I)
    PutBE16(5 + 2 * I, X[I]);
  State = {X[kEAXAFrameSamples - 1], X[kEAXAFrameSamples - 2]};
  return kEAXARawFrameBytes;
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

size_t EncodeEAXAFrame(const int16_t* X, TEAXAState& State, uint8_t* Out, size_t Valid, bool AllowRaw) {
  // No sample misses by more than 65535 anyway.
  const int32_t MaxMiss = AllowRaw ? kEAXARawTolerance : 65535;
  TEstimate Est[4];
  int Order[4] = {0, 1, 2, 3};
  Estimate(X, Valid, State, Est);
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
      const int64_t E = NearestRounded(X[0], Base, 12 - S, D) - X[0];
      FirstError[F][S] = E * E;
    }
  }
  const int64_t MaxFirstError = int64_t(MaxMiss) * MaxMiss;
  TTrial Trials[2];
  int BestIndex = -1, BestF = 0, BestS = 0;
  auto Consider = [&](int F, int S) {
    if (FirstError[F][S] > MaxFirstError || (BestIndex >= 0 && FirstError[F][S] >= Trials[BestIndex].Error))
      return;
    TTrial& Trial = Trials[BestIndex == 0 ? 1 : 0];
    Trial.Error = INT64_MAX;
    Try(X, Valid, F, S, State, BestIndex < 0 ? INT64_MAX : Trials[BestIndex].Error, MaxMiss, Trial);
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
  if (BestIndex < 0)
    return WriteRawFrame(X, State, Out);
  const TTrial& Best = Trials[BestIndex];
  Out[0] = static_cast<uint8_t>(BestF << 4 | BestS);
  for (size_t I = 0; I < kEAXAFrameSamples; I += 2)
    Out[1 + I / 2] = static_cast<uint8_t>(Best.Codes[I] << 4 | Best.Codes[I + 1]);
  if (Valid == kEAXAFrameSamples) {
    State = Best.End;
  } else { // the decoder goes on through the padding
    int16_t Decoded[kEAXAFrameSamples];
    DecodeEAXAFrame(Out, kEAXAFrameBytes, State, Decoded);
  }
  return kEAXAFrameBytes;
}

} // namespace sx
