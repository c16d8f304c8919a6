#pragma once
// What the EA-XA encoder's two searches for a frame's filter and shift share: the open-loop estimate that
// orders the trials, and the order itself, which decides between pairs of equal error.

#include "converter/codecs/EAXA.h"
#include "converter/codecs/EAXAArith.h"

#include <algorithm>
#include <bit>

namespace sx::eaxa {

// The open-loop prediction residual of a filter over the frame: its energy ranks the filters, and its peak
// gives the finest shift whose code range covers it.
struct TEstimate {
  int64_t Energy = 0;
  int Shift = kMaxShift;
};

// The finest shift whose codes reach Peak: the largest up to kMaxShift with 8 << (12 - shift), that is
// 2^(15 - shift), at least Peak, or 0 when none is.
inline int ShiftForPeak(int64_t Peak) {
  const int Bits = Peak <= 1 ? 0 : std::bit_width(uint64_t(Peak - 1)); // 2^Bits >= Peak
  return std::clamp(15 - Bits, 0, kMaxShift);
}

// The filters by their residual's energy, lowest first (equal energies keep the filters' order).
inline void OrderFilters(const TEstimate* Est, int* Order) {
  for (int F = 0; F < 4; ++F)
    Order[F] = F;
  std::sort(Order, Order + 4, [&](int A, int B) { return Est[A].Energy < Est[B].Energy; });
}

// A filter and shift; Filter is -1 when no pair keeps every sample within kEAXARawTolerance.
struct TFilterShift {
  int Filter = -1;
  int Shift = 0;
};

constexpr int kPairs = 4 * (kMaxShift + 1);

// Every pair in the order the searches try them: each filter (in Order) at its estimated shift, then the
// shifts further and further from the estimate, higher before lower. A likely pair first makes a tight
// bound known early, and of two pairs with the same error the earlier one wins.
inline void TrialOrder(const TEstimate* Est, const int* Order, TFilterShift* Pairs) {
  int Count = 0;
  for (int I = 0; I < 4; ++I)
    Pairs[Count++] = {Order[I], Est[Order[I]].Shift};
  for (int Distance = 1; Distance <= kMaxShift; ++Distance)
    for (int I = 0; I < 4; ++I)
      for (int S : {Est[Order[I]].Shift + Distance, Est[Order[I]].Shift - Distance})
        if (S >= 0 && S <= kMaxShift)
          Pairs[Count++] = {Order[I], S};
}

// Every trial's first sample depends only on the filter: its squared error, found for all pairs at once,
// lets most trials be skipped without being started (Error[filter][shift]).
inline void FirstErrors(const int16_t* X, TEAXAState State, int64_t (*Error)[kMaxShift + 1]) {
  for (int F = 0; F < 4; ++F) {
    const int32_t Base = Predict(F, State.H1, State.H2);
    for (int S = 0; S <= kMaxShift; ++S) {
      int32_t D;
      const int64_t E = NearestRounded(X[0], Base, 12 - S, D) - X[0];
      Error[F][S] = E * E;
    }
  }
}

#if defined(__SSE2__)
inline constexpr bool kVectorSearch = true;
// The pair the plain search chooses for a whole frame (28 valid samples) with raw frames allowed: the
// smallest squared error among pairs within the tolerance, the earliest in trial order on a tie. When there
// is one, Codes gets its 28 codes (4 bits each) and State advances as the decoder's will. Wide tries
// sixteen pairs at a time with AVX2 instead of eight with SSE2: only where WideSearchAvailable().
TFilterShift FindPairVector(const int16_t* X, TEAXAState& State, uint8_t* Codes, bool Wide);
bool WideSearchAvailable(); // the processor (and the system) run AVX2
#else
inline constexpr bool kVectorSearch = false;
#endif

} // namespace sx::eaxa
