#include "converter/codecs/EAXA.h"

#include "converter/codecs/EAXASearch.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace sx::eaxa {
namespace {

inline int32_t Reconstruct(int32_t Code, int Shift, int32_t Prediction, int32_t Round) {
  return Clamp((Code * (1 << (20 - Shift)) + Prediction + Round) >> 8);
}

struct TTrial {
  int64_t Error = INT64_MAX;
  uint8_t Codes[kEAXAFrameSamples] = {};
  TEAXAState End;
};

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
    const int32_t Y = NearestRounded(Target, Predict(F, H1, H2), Bits, D);
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

// All four filters in one pass over the frame, so that their sums proceed side by side.
void Estimate(const int16_t* X, size_t Valid, TEAXAState State, TEstimate* Est) {
  int64_t Peak[4] = {};
  int32_t H1 = State.H1, H2 = State.H2;
  for (size_t I = 0; I < Valid; ++I) {
    for (int F = 0; F < 4; ++F) {
      const int64_t R = int64_t(X[I]) - Predict(F, H1, H2);
      Peak[F] = std::max<int64_t>(Peak[F], R < 0 ? -R : R);
      Est[F].Energy += R * R;
    }
    H2 = H1;
    H1 = X[I];
  }
  for (int F = 0; F < 4; ++F)
    Est[F].Shift = ShiftForPeak(Peak[F]);
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

// An ADPCM frame of the trial's codes; State becomes the trial's end.
size_t WriteFrame(int F, int S, const TTrial& Trial, uint8_t* Out, TEAXAState& State) {
  Out[0] = static_cast<uint8_t>(F << 4 | S);
  for (size_t I = 0; I < kEAXAFrameSamples; I += 2)
    Out[1 + I / 2] = static_cast<uint8_t>(Trial.Codes[I] << 4 | Trial.Codes[I + 1]);
  State = Trial.End;
  return kEAXAFrameBytes;
}

} // namespace
} // namespace sx::eaxa

namespace sx {

size_t DecodeEAXAFrame(const uint8_t* Frame, size_t Available, TEAXAState& State, int16_t* Out,
                       TEAXAVariant Variant) {
  using namespace eaxa;
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

bool EAXAVectorSearch() {
  return eaxa::kVectorSearch;
}

bool EAXAWideSearch() {
  if constexpr (eaxa::kVectorSearch)
    return eaxa::WideSearchAvailable();
  return false;
}

size_t EncodeEAXAFrame(const int16_t* X, TEAXAState& State, uint8_t* Out, size_t Valid, bool AllowRaw,
                       TEAXASearch Search) {
  using namespace eaxa;
  // No sample misses by more than 65535 anyway.
  const int32_t MaxMiss = AllowRaw ? kEAXARawTolerance : 65535;
  if constexpr (kVectorSearch) {
    if (Search != TEAXASearch::Plain && AllowRaw && Valid == kEAXAFrameSamples) {
      TTrial Best;
      const bool Wide = Search == TEAXASearch::Vector && WideSearchAvailable();
      const TFilterShift Pair = FindPairVector(X, State, Best.Codes, Wide);
      if (Pair.Filter < 0)
        return WriteRawFrame(X, State, Out);
      Best.End = State;
      return WriteFrame(Pair.Filter, Pair.Shift, Best, Out, State);
    }
  }
  TEstimate Est[4];
  int Order[4];
  Estimate(X, Valid, State, Est);
  OrderFilters(Est, Order);
  // Every pair is tried, the likeliest first, so that a tight limit is known early and the other trials
  // stop after a few samples.
  int64_t FirstError[4][kMaxShift + 1];
  FirstErrors(X, State, FirstError);
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
  TFilterShift Pairs[kPairs];
  TrialOrder(Est, Order, Pairs);
  for (const TFilterShift& Pair : Pairs)
    Consider(Pair.Filter, Pair.Shift);
  if (BestIndex < 0)
    return WriteRawFrame(X, State, Out);
  const TEAXAState Start = State;
  WriteFrame(BestF, BestS, Trials[BestIndex], Out, State);
  if (Valid < kEAXAFrameSamples) { // the decoder goes on through the padding
    int16_t Decoded[kEAXAFrameSamples];
    State = Start;
    DecodeEAXAFrame(Out, kEAXAFrameBytes, State, Decoded);
  }
  return kEAXAFrameBytes;
}

} // namespace sx
