#include "converter/codecs/EAXASearch.h"

#include <climits>
#include <cstring>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace sx::eaxa {

#if defined(__SSE2__)

namespace {

// The estimate of all four filters, four samples at a time. Buf holds the history (H2, H1), then the 28
// samples. Energies are summed exactly in 64 bits; peaks are taken from residuals saturated to 16 bits,
// which give the same shift, as every peak above 2^14 gives shift 0.
void EstimateVector(const int16_t* Buf, TEstimate* Est) {
  __m128i Coef[4], Sum[4], Max[4], Min[4];
  for (int F = 0; F < 4; ++F) { // pairs of (older, newer) sample, so (C2, C1)
    Coef[F] = _mm_set1_epi32(static_cast<int32_t>(uint32_t(uint16_t(kC1[F])) << 16 | uint16_t(kC2[F])));
    Sum[F] = _mm_setzero_si128();
    Max[F] = _mm_set1_epi16(-32768);
    Min[F] = _mm_set1_epi16(32767);
  }
  for (size_t I = 0; I < kEAXAFrameSamples; I += 4) {
    auto Load4 = [&](size_t At) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(Buf + At)); };
    const __m128i Pairs = _mm_unpacklo_epi16(Load4(I), Load4(I + 1));
    const __m128i X16 = Load4(I + 2);
    const __m128i X32 = _mm_srai_epi32(_mm_unpacklo_epi16(X16, X16), 16);
    for (int F = 0; F < 4; ++F) {
      const __m128i R = _mm_sub_epi32(X32, _mm_srai_epi32(_mm_madd_epi16(Pairs, Coef[F]), 8));
      const __m128i R16 = _mm_packs_epi32(R, R);
      Max[F] = _mm_max_epi16(Max[F], R16);
      Min[F] = _mm_min_epi16(Min[F], R16);
      const __m128i Sign = _mm_srai_epi32(R, 31);
      const __m128i Abs = _mm_sub_epi32(_mm_xor_si128(R, Sign), Sign);
      const __m128i Odd = _mm_srli_epi64(Abs, 32);
      Sum[F] = _mm_add_epi64(Sum[F], _mm_add_epi64(_mm_mul_epu32(Abs, Abs), _mm_mul_epu32(Odd, Odd)));
    }
  }
  for (int F = 0; F < 4; ++F) {
    // The peak of the residual's magnitude: -32768 saturates to 32767, which asks for the same shift.
    __m128i Peak = _mm_max_epi16(Max[F], _mm_subs_epi16(_mm_setzero_si128(), Min[F]));
    Peak = _mm_max_epi16(Peak, _mm_shuffle_epi32(Peak, _MM_SHUFFLE(1, 0, 3, 2)));
    Peak = _mm_max_epi16(Peak, _mm_shuffle_epi32(Peak, _MM_SHUFFLE(2, 3, 0, 1)));
    Peak = _mm_max_epi16(Peak, _mm_srli_epi32(Peak, 16));
    const __m128i Energy = _mm_add_epi64(Sum[F], _mm_unpackhi_epi64(Sum[F], Sum[F]));
    int64_t Total;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(&Total), Energy);
    Est[F].Energy = Total;
    Est[F].Shift = ShiftForPeak(static_cast<int16_t>(_mm_cvtsi128_si32(Peak)));
  }
}

// The constants of one shift, in four 16-bit lanes (one per filter): half a step less a unit, the mask
// that rounds down to a multiple of the step, the code range's ends (-8 and 7 steps), and the outputs
// nearer than a step to the 16-bit limits start above Top16 and below Bottom16.
struct TShiftLanes {
  int16_t Half[4], Mask[4], Top[4], Bottom[4], Top16[4], Bottom16[4];
};

constexpr TShiftLanes ShiftLanes(int Shift) {
  const int32_t Step = 1 << (12 - Shift);
  TShiftLanes L{};
  for (int F = 0; F < 4; ++F) {
    L.Half[F] = static_cast<int16_t>((Step - 1) >> 1);
    L.Mask[F] = static_cast<int16_t>(-Step);
    L.Top[F] = static_cast<int16_t>(7 * Step);
    L.Bottom[F] = static_cast<int16_t>(-8 * Step);
    L.Top16[F] = static_cast<int16_t>(32767 - Step);
    L.Bottom16[F] = static_cast<int16_t>(-32768 + Step);
  }
  return L;
}

constexpr TShiftLanes kShiftLanes[kMaxShift + 1] = {
    ShiftLanes(0), ShiftLanes(1), ShiftLanes(2), ShiftLanes(3),  ShiftLanes(4),  ShiftLanes(5), ShiftLanes(6),
    ShiftLanes(7), ShiftLanes(8), ShiftLanes(9), ShiftLanes(10), ShiftLanes(11), ShiftLanes(12)};

// The four lanes of shift A, then the four of shift B.
inline __m128i Join(const int16_t* A, const int16_t* B) {
  return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(A)),
                            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(B)));
}

// What a pass of trials did, in 16-bit lanes (8 for a group, 16 for two): the chosen code times the step at
// each sample, and the last two outputs.
template <int Lanes> struct TTrace {
  int16_t Offsets[kEAXAFrameSamples][Lanes];
  int16_t Last[Lanes], BeforeLast[Lanes];
};

// Each pair's place in the trial order, which decides between pairs of equal error; made only when two
// errors are equal.
class TRanks {
public:
  TRanks(const TEstimate* Est, const int* Order) : FEst(Est), FOrder(Order) {}
  int operator()(int F, int S) {
    if (!FBuilt) {
      TFilterShift Pairs[kPairs];
      TrialOrder(FEst, FOrder, Pairs);
      for (int R = 0; R < kPairs; ++R)
        FRank[Pairs[R].Filter][Pairs[R].Shift] = R;
      FBuilt = true;
    }
    return FRank[F][S];
  }

private:
  const TEstimate* FEst;
  const int* FOrder;
  bool FBuilt = false;
  int FRank[4][kMaxShift + 1] = {};
};

// The best lane so far: its error, its rank (INT_MAX until looked up), its pair, and where its trace is.
struct TBest {
  int32_t Error = INT32_MAX; // every error within the tolerance is far below
  int Rank = INT_MAX;
  TFilterShift Pair;
  const int16_t* Offsets = nullptr; // its first sample's offset; the next ones Stride lanes apart
  const int16_t* Last = nullptr;    // its last output, the one before BeforeLast
  const int16_t* BeforeLast = nullptr;
  int Stride = 0;
};

// The lanes of a group, judged at its end: lane L (filter L & 3, shift Shifts[L >> 2]) competes for Best in
// trial order when it stayed within the tolerance and its error can still win. Trace's lane Lane0 + L is
// the lane's record.
template <int Lanes>
void JudgeLanes(const int32_t* Errors, const int16_t* Highs, const int16_t* Lows, const int* Shifts,
                TRanks& Ranks, const TTrace<Lanes>& Trace, int Lane0, TBest& Best) {
  for (int L = 0; L < 8; ++L) {
    if (Highs[L] > kEAXARawTolerance || Lows[L] < -kEAXARawTolerance || Errors[L] > Best.Error)
      continue;
    const int F = L & 3, S = Shifts[L >> 2];
    int Rank = INT_MAX;
    if (Errors[L] == Best.Error) {
      if (Best.Rank == INT_MAX)
        Best.Rank = Ranks(Best.Pair.Filter, Best.Pair.Shift);
      Rank = Ranks(F, S);
      if (Rank >= Best.Rank)
        continue;
    }
    const int At = Lane0 + L;
    Best = {Errors[L], Rank, {F, S}, &Trace.Offsets[0][At], &Trace.Last[At], &Trace.BeforeLast[At], Lanes};
  }
}

// Where the rounded choice of some lanes lies near the 16-bit limits, or their prediction beyond them,
// Nearest decides for them: their outputs and offsets are replaced.
void FixNearLimits(int32_t Target, const __m128i* Sum, __m128i Near, const int* Shifts, __m128i& Offset,
                   __m128i& Output) {
  alignas(16) int32_t Bases[8];
  alignas(16) int16_t Flags[8], Offsets[8], Outputs[8];
  for (int V = 0; V < 2; ++V)
    _mm_store_si128(reinterpret_cast<__m128i*>(Bases + 4 * V), _mm_srai_epi32(Sum[V], 8));
  _mm_store_si128(reinterpret_cast<__m128i*>(Flags), Near);
  _mm_store_si128(reinterpret_cast<__m128i*>(Offsets), Offset);
  _mm_store_si128(reinterpret_cast<__m128i*>(Outputs), Output);
  for (int L = 0; L < 8; ++L) {
    if (Flags[L] == 0)
      continue;
    const int Bits = 12 - Shifts[L >> 2];
    int32_t D;
    Outputs[L] = static_cast<int16_t>(Nearest(Target, Bases[L], Bits, D));
    Offsets[L] = static_cast<int16_t>(D * (1 << Bits));
  }
  Offset = _mm_load_si128(reinterpret_cast<const __m128i*>(Offsets));
  Output = _mm_load_si128(reinterpret_cast<const __m128i*>(Outputs));
}

// The trials of all four filters with two shifts, eight lanes side by side (lane F of vector V: filter F,
// shift Shifts[V]), running the decoder's arithmetic as NearestRounded does, in 16-bit lanes. The
// prediction is saturated to 16 bits: away from the limits the saturating sums give the decoder's exact
// values, and where the prediction or the output reaches within a step of the limits, Nearest decides.
// Every few samples the group stops once no lane can still beat Best or stay within the tolerance; at the
// end its lanes compete for Best in trial order.
void RunGroup(const int16_t* X, TEAXAState State, const int* Shifts, TRanks& Ranks, TTrace<8>& Trace,
              TBest& Best) {
  const TShiftLanes &A = kShiftLanes[Shifts[0]], &B = kShiftLanes[Shifts[1]];
  const __m128i Coef = _mm_setr_epi16(int16_t(kC1[0]), int16_t(kC2[0]), int16_t(kC1[1]), int16_t(kC2[1]),
                                      int16_t(kC1[2]), int16_t(kC2[2]), int16_t(kC1[3]), int16_t(kC2[3]));
  const __m128i Half = Join(A.Half, B.Half), Mask = Join(A.Mask, B.Mask);
  const __m128i Top = Join(A.Top, B.Top), Bottom = Join(A.Bottom, B.Bottom);
  const __m128i Top16 = Join(A.Top16, B.Top16), Bottom16 = Join(A.Bottom16, B.Bottom16);
  const __m128i Highest = _mm_set1_epi16(32767), Lowest = _mm_set1_epi16(-32768);
  const __m128i Zero = _mm_setzero_si128();
  const __m128i Bound = _mm_set1_epi32(Best.Error);
  const __m128i Above = _mm_set1_epi16(kEAXARawTolerance + 1), Below = _mm_set1_epi16(-kEAXARawTolerance - 1);
  __m128i Previous = _mm_set1_epi16(static_cast<int16_t>(State.H2));
  __m128i Output = _mm_set1_epi16(static_cast<int16_t>(State.H1));
  __m128i Error[2] = {Zero, Zero};
  __m128i MaxMiss = _mm_set1_epi16(-32768), MinMiss = _mm_set1_epi16(32767);
  for (size_t I = 0; I < kEAXAFrameSamples; ++I) {
    // Pairs of (newest, older) output per lane, for the filters' coefficient pairs.
    const __m128i Sum[2] = {_mm_madd_epi16(_mm_unpacklo_epi16(Output, Previous), Coef),
                            _mm_madd_epi16(_mm_unpackhi_epi16(Output, Previous), Coef)};
    Previous = Output;
    const __m128i Base = _mm_packs_epi32(_mm_srai_epi32(Sum[0], 8), _mm_srai_epi32(Sum[1], 8));
    const __m128i Target = _mm_set1_epi16(X[I]);
    // A difference beyond 16 bits saturates to the code range's end that it would reach anyway.
    __m128i Offset = _mm_and_si128(_mm_adds_epi16(_mm_subs_epi16(Target, Base), Half), Mask);
    Offset = _mm_max_epi16(_mm_min_epi16(Offset, Top), Bottom);
    Output = _mm_adds_epi16(Offset, Base);
    const __m128i Near =
        _mm_or_si128(_mm_or_si128(_mm_cmpgt_epi16(Output, Top16), _mm_cmpgt_epi16(Bottom16, Output)),
                     _mm_or_si128(_mm_cmpeq_epi16(Base, Highest), _mm_cmpeq_epi16(Base, Lowest)));
    if (_mm_movemask_epi8(Near) != 0) [[unlikely]]
      FixNearLimits(X[I], Sum, Near, Shifts, Offset, Output);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(Trace.Offsets[I]), Offset);
    // Misses beyond 16 bits saturate: they are out of tolerance either way.
    const __m128i Miss = _mm_subs_epi16(Output, Target);
    MaxMiss = _mm_max_epi16(MaxMiss, Miss);
    MinMiss = _mm_min_epi16(MinMiss, Miss);
    const __m128i Lo = _mm_unpacklo_epi16(Miss, Zero), Hi = _mm_unpackhi_epi16(Miss, Zero);
    Error[0] = _mm_add_epi32(Error[0], _mm_madd_epi16(Lo, Lo));
    Error[1] = _mm_add_epi32(Error[1], _mm_madd_epi16(Hi, Hi));
    if (I < 2 || (I & 3) == 3) {
      const __m128i Over =
          _mm_packs_epi32(_mm_cmpgt_epi32(Error[0], Bound), _mm_cmpgt_epi32(Error[1], Bound));
      const __m128i Within = _mm_and_si128(_mm_cmpgt_epi16(Above, MaxMiss), _mm_cmpgt_epi16(MinMiss, Below));
      if (_mm_movemask_epi8(_mm_andnot_si128(Over, Within)) == 0)
        return;
    }
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(Trace.Last), Output);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(Trace.BeforeLast), Previous);
  alignas(16) int32_t Errors[8];
  alignas(16) int16_t Highs[8], Lows[8];
  _mm_store_si128(reinterpret_cast<__m128i*>(Errors), Error[0]);
  _mm_store_si128(reinterpret_cast<__m128i*>(Errors + 4), Error[1]);
  _mm_store_si128(reinterpret_cast<__m128i*>(Highs), MaxMiss);
  _mm_store_si128(reinterpret_cast<__m128i*>(Lows), MinMiss);
  JudgeLanes(Errors, Highs, Lows, Shifts, Ranks, Trace, 0, Best);
}

// Two groups at once in the halves of 256-bit vectors, where the processor has AVX2: lanes 0..7 try
// Shifts[0] and Shifts[1], lanes 8..15 Shifts[2] and Shifts[3], each half exactly as RunGroup runs its
// group (every operation stays within its half), against the same bound.
__attribute__((target("avx2"))) void RunWideGroup(const int16_t* X, TEAXAState State, const int* Shifts,
                                                  TRanks& Ranks, TTrace<16>& Trace, TBest& Best) {
  const TShiftLanes* L[4] = {&kShiftLanes[Shifts[0]], &kShiftLanes[Shifts[1]], &kShiftLanes[Shifts[2]],
                             &kShiftLanes[Shifts[3]]};
#define SX_EAXA_LANES(Field) _mm256_setr_m128i(Join(L[0]->Field, L[1]->Field), Join(L[2]->Field, L[3]->Field))
  const __m256i Half = SX_EAXA_LANES(Half), Mask = SX_EAXA_LANES(Mask);
  const __m256i Top = SX_EAXA_LANES(Top), Bottom = SX_EAXA_LANES(Bottom);
  const __m256i Top16 = SX_EAXA_LANES(Top16), Bottom16 = SX_EAXA_LANES(Bottom16);
#undef SX_EAXA_LANES
  const __m256i Coef = _mm256_setr_epi16(int16_t(kC1[0]), int16_t(kC2[0]), int16_t(kC1[1]), int16_t(kC2[1]),
                                         int16_t(kC1[2]), int16_t(kC2[2]), int16_t(kC1[3]), int16_t(kC2[3]),
                                         int16_t(kC1[0]), int16_t(kC2[0]), int16_t(kC1[1]), int16_t(kC2[1]),
                                         int16_t(kC1[2]), int16_t(kC2[2]), int16_t(kC1[3]), int16_t(kC2[3]));
  const __m256i Highest = _mm256_set1_epi16(32767), Lowest = _mm256_set1_epi16(-32768);
  const __m256i Zero = _mm256_setzero_si256();
  const __m256i Bound = _mm256_set1_epi32(Best.Error);
  const __m256i Above = _mm256_set1_epi16(kEAXARawTolerance + 1);
  const __m256i Below = _mm256_set1_epi16(-kEAXARawTolerance - 1);
  __m256i Previous = _mm256_set1_epi16(static_cast<int16_t>(State.H2));
  __m256i Output = _mm256_set1_epi16(static_cast<int16_t>(State.H1));
  __m256i Error[2] = {Zero, Zero};
  __m256i MaxMiss = Lowest, MinMiss = Highest;
  for (size_t I = 0; I < kEAXAFrameSamples; ++I) {
    const __m256i Sum[2] = {_mm256_madd_epi16(_mm256_unpacklo_epi16(Output, Previous), Coef),
                            _mm256_madd_epi16(_mm256_unpackhi_epi16(Output, Previous), Coef)};
    Previous = Output;
    const __m256i Base = _mm256_packs_epi32(_mm256_srai_epi32(Sum[0], 8), _mm256_srai_epi32(Sum[1], 8));
    const __m256i Target = _mm256_set1_epi16(X[I]);
    __m256i Offset = _mm256_and_si256(_mm256_adds_epi16(_mm256_subs_epi16(Target, Base), Half), Mask);
    Offset = _mm256_max_epi16(_mm256_min_epi16(Offset, Top), Bottom);
    Output = _mm256_adds_epi16(Offset, Base);
    const __m256i Near = _mm256_or_si256(
        _mm256_or_si256(_mm256_cmpgt_epi16(Output, Top16), _mm256_cmpgt_epi16(Bottom16, Output)),
        _mm256_or_si256(_mm256_cmpeq_epi16(Base, Highest), _mm256_cmpeq_epi16(Base, Lowest)));
    if (_mm256_movemask_epi8(Near) != 0) [[unlikely]] {
      __m128i Offsets[2] = {_mm256_castsi256_si128(Offset), _mm256_extracti128_si256(Offset, 1)};
      __m128i Outputs[2] = {_mm256_castsi256_si128(Output), _mm256_extracti128_si256(Output, 1)};
      for (int H = 0; H < 2; ++H) {
        const __m128i HalfSum[2] = {
            H == 0 ? _mm256_castsi256_si128(Sum[0]) : _mm256_extracti128_si256(Sum[0], 1),
            H == 0 ? _mm256_castsi256_si128(Sum[1]) : _mm256_extracti128_si256(Sum[1], 1)};
        const __m128i HalfNear = H == 0 ? _mm256_castsi256_si128(Near) : _mm256_extracti128_si256(Near, 1);
        FixNearLimits(X[I], HalfSum, HalfNear, Shifts + 2 * H, Offsets[H], Outputs[H]);
      }
      Offset = _mm256_setr_m128i(Offsets[0], Offsets[1]);
      Output = _mm256_setr_m128i(Outputs[0], Outputs[1]);
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(Trace.Offsets[I]), Offset);
    const __m256i Miss = _mm256_subs_epi16(Output, Target);
    MaxMiss = _mm256_max_epi16(MaxMiss, Miss);
    MinMiss = _mm256_min_epi16(MinMiss, Miss);
    const __m256i Lo = _mm256_unpacklo_epi16(Miss, Zero), Hi = _mm256_unpackhi_epi16(Miss, Zero);
    Error[0] = _mm256_add_epi32(Error[0], _mm256_madd_epi16(Lo, Lo));
    Error[1] = _mm256_add_epi32(Error[1], _mm256_madd_epi16(Hi, Hi));
    if (I < 2 || (I & 3) == 3) {
      const __m256i Over =
          _mm256_packs_epi32(_mm256_cmpgt_epi32(Error[0], Bound), _mm256_cmpgt_epi32(Error[1], Bound));
      const __m256i Within =
          _mm256_and_si256(_mm256_cmpgt_epi16(Above, MaxMiss), _mm256_cmpgt_epi16(MinMiss, Below));
      if (_mm256_movemask_epi8(_mm256_andnot_si256(Over, Within)) == 0)
        return;
    }
  }
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(Trace.Last), Output);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(Trace.BeforeLast), Previous);
  // The error sums hold lanes 0..3 and 8..11 in Error[0], 4..7 and 12..15 in Error[1], half by half.
  int32_t Sums[2][8];
  int16_t Highs[16], Lows[16];
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(Sums[0]), Error[0]);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(Sums[1]), Error[1]);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(Highs), MaxMiss);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(Lows), MinMiss);
  for (int H = 0; H < 2; ++H) {
    int32_t Errors[8];
    for (int Lane = 0; Lane < 8; ++Lane)
      Errors[Lane] = Sums[Lane >> 2][4 * H + (Lane & 3)];
    JudgeLanes(Errors, Highs + 8 * H, Lows + 8 * H, Shifts + 2 * H, Ranks, Trace, 8 * H, Best);
  }
}

} // namespace

TFilterShift FindPairVector(const int16_t* X, TEAXAState& State, uint8_t* Codes, bool Wide) {
  alignas(16) int16_t Buf[32] = {};
  Buf[0] = static_cast<int16_t>(State.H2);
  Buf[1] = static_cast<int16_t>(State.H1);
  std::memcpy(Buf + 2, X, kEAXAFrameSamples * sizeof(int16_t));
  TEstimate Est[4];
  EstimateVector(Buf, Est);
  int Order[4];
  OrderFilters(Est, Order);
  TRanks Ranks(Est, Order);
  // The shifts nearest the best filter's estimate first, two at a time (four with AVX2), so that a tight
  // bound is known early and the later groups stop after a few samples.
  int Shifts[kMaxShift + 4];
  int Count = 0;
  const int Centre = Est[Order[0]].Shift;
  Shifts[Count++] = Centre;
  for (int Distance = 1; Distance <= kMaxShift; ++Distance)
    for (int S : {Centre + Distance, Centre - Distance})
      if (S >= 0 && S <= kMaxShift)
        Shifts[Count++] = S;
  // A group short of shifts tries the last one again: the same pair twice, which never wins twice.
  Shifts[Count + 2] = Shifts[Count + 1] = Shifts[Count] = Shifts[Count - 1];
  TBest Best; // points into the traces
  TTrace<16> WideTraces[(kMaxShift + 4) / 4];
  TTrace<8> Traces[(kMaxShift + 2) / 2];
  if (Wide) {
    for (int G = 0; G < Count; G += 4)
      RunWideGroup(X, State, Shifts + G, Ranks, WideTraces[G / 4], Best);
  } else {
    for (int G = 0; G < Count; G += 2)
      RunGroup(X, State, Shifts + G, Ranks, Traces[G / 2], Best);
  }
  if (Best.Offsets == nullptr)
    return Best.Pair;
  for (size_t I = 0; I < kEAXAFrameSamples; ++I)
    Codes[I] = static_cast<uint8_t>((Best.Offsets[I * Best.Stride] >> (12 - Best.Pair.Shift)) & 15);
  State = {*Best.Last, *Best.BeforeLast};
  return Best.Pair;
}

bool WideSearchAvailable() {
  static const bool Available = __builtin_cpu_supports("avx2");
  return Available;
}

#endif

} // namespace sx::eaxa
