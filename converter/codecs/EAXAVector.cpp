#include "converter/codecs/EAXASearch.h"

#include <climits>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
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
    alignas(16) int64_t Sums[2];
    alignas(16) int16_t Highs[8], Lows[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(Sums), Sum[F]);
    _mm_store_si128(reinterpret_cast<__m128i*>(Highs), Max[F]);
    _mm_store_si128(reinterpret_cast<__m128i*>(Lows), Min[F]);
    int32_t Peak = 0;
    for (int L = 0; L < 8; ++L)
      Peak = std::max({Peak, int32_t(Highs[L]), -int32_t(Lows[L])});
    Est[F].Energy = Sums[0] + Sums[1];
    Est[F].Shift = ShiftForPeak(Peak);
  }
}

// What a group of trials did at each sample, in 16-bit lanes (lane L: filter L & 3, the group's shift
// L >> 2): the chosen code times the step, and the output.
struct TTrace {
  __m128i Offsets[kEAXAFrameSamples];
  __m128i Outputs[kEAXAFrameSamples];
};

struct TBest {
  int32_t Error = INT32_MAX; // every error within the tolerance is far below
  int Rank = INT_MAX;
  int Group = -1, Lane = 0;
  TFilterShift Pair;
};

// Where the rounded choice of some lanes lies near the 16-bit limits, Nearest decides for them: their
// outputs and offsets are replaced.
void FixNearLimits(int32_t Target, const __m128i* Base, const __m128i* Near, const int* Shifts,
                   __m128i& Offset, __m128i& Output) {
  alignas(16) int32_t Bases[8], Flags[8];
  alignas(16) int16_t Offsets[8], Outputs[8];
  for (int V = 0; V < 2; ++V) {
    _mm_store_si128(reinterpret_cast<__m128i*>(Bases + 4 * V), Base[V]);
    _mm_store_si128(reinterpret_cast<__m128i*>(Flags + 4 * V), Near[V]);
  }
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
// shift Shifts[V]), running the decoder's arithmetic as NearestRounded does. The outputs stay in 16-bit
// lanes, from which the next predictions' pairs are interleaved; the wider sums only check the limits.
// Every few samples the group stops once no lane can still beat Best or stay within the tolerance; at the
// end its lanes compete for Best in trial order.
void RunGroup(const int16_t* X, TEAXAState State, const int* Shifts, const int (*Rank)[kMaxShift + 1],
              int Group, TTrace& Trace, TBest& Best) {
  const int32_t StepA = 1 << (12 - Shifts[0]), StepB = 1 << (12 - Shifts[1]);
  auto Halves = [](int16_t A, int16_t B) { return _mm_setr_epi16(A, A, A, A, B, B, B, B); };
  const __m128i Coef = _mm_setr_epi16(int16_t(kC1[0]), int16_t(kC2[0]), int16_t(kC1[1]), int16_t(kC2[1]),
                                      int16_t(kC1[2]), int16_t(kC2[2]), int16_t(kC1[3]), int16_t(kC2[3]));
  const __m128i Half[2] = {_mm_set1_epi32((StepA - 1) >> 1), _mm_set1_epi32((StepB - 1) >> 1)};
  const __m128i Mask = Halves(int16_t(-StepA), int16_t(-StepB));
  const __m128i Top = Halves(int16_t(7 * StepA), int16_t(7 * StepB));
  const __m128i Bottom = Halves(int16_t(-8 * StepA), int16_t(-8 * StepB));
  // NearLimits as a signed comparison: the sign bit flipped on both sides.
  auto GuardAdd = [](int32_t Step) { return _mm_set1_epi32(int32_t(uint32_t(32768 - Step) + 0x80000000u)); };
  auto GuardMax = [](int32_t Step) {
    return _mm_set1_epi32(int32_t(uint32_t(65535 - 2 * Step) ^ 0x80000000u));
  };
  const __m128i Add[2] = {GuardAdd(StepA), GuardAdd(StepB)}, Limit[2] = {GuardMax(StepA), GuardMax(StepB)};
  const __m128i Zero = _mm_setzero_si128();
  const __m128i Bound = _mm_set1_epi32(Best.Error);
  const __m128i Above = _mm_set1_epi16(kEAXARawTolerance + 1), Below = _mm_set1_epi16(-kEAXARawTolerance - 1);
  __m128i Previous = _mm_set1_epi16(static_cast<int16_t>(State.H2));
  __m128i Output = _mm_set1_epi16(static_cast<int16_t>(State.H1));
  __m128i Error[2] = {Zero, Zero};
  __m128i MaxMiss = _mm_set1_epi16(-32768), MinMiss = _mm_set1_epi16(32767);
  for (size_t I = 0; I < kEAXAFrameSamples; ++I) {
    // Pairs of (newest, older) output per lane, for the filters' coefficient pairs.
    const __m128i H[2] = {_mm_unpacklo_epi16(Output, Previous), _mm_unpackhi_epi16(Output, Previous)};
    Previous = Output;
    const __m128i T32 = _mm_set1_epi32(X[I]);
    __m128i Base[2], Low[2], Aim[2];
    for (int V = 0; V < 2; ++V) {
      const __m128i Sum = _mm_madd_epi16(H[V], Coef);
      Base[V] = _mm_srai_epi32(Sum, 8);
      Low[V] = _mm_srai_epi32(_mm_slli_epi32(Sum, 8), 16); // Base's low 16 bits, sign-extended
      Aim[V] = _mm_sub_epi32(_mm_add_epi32(T32, Half[V]), Base[V]);
    }
    // Saturated to 16 bits before the mask and the code range's clamp, whose bounds are within 16 bits:
    // the same offsets.
    __m128i Offset = _mm_and_si128(_mm_packs_epi32(Aim[0], Aim[1]), Mask);
    Offset = _mm_max_epi16(_mm_min_epi16(Offset, Top), Bottom);
    // Outputs within 16 bits are the offset plus Base's low bits; the full sums tell when they are not.
    Output = _mm_add_epi16(Offset, _mm_packs_epi32(Low[0], Low[1]));
    __m128i Near[2];
    Near[0] = _mm_cmpgt_epi32(
        _mm_add_epi32(_mm_add_epi32(_mm_srai_epi32(_mm_unpacklo_epi16(Offset, Offset), 16), Base[0]), Add[0]),
        Limit[0]);
    Near[1] = _mm_cmpgt_epi32(
        _mm_add_epi32(_mm_add_epi32(_mm_srai_epi32(_mm_unpackhi_epi16(Offset, Offset), 16), Base[1]), Add[1]),
        Limit[1]);
    if (_mm_movemask_epi8(_mm_or_si128(Near[0], Near[1])) != 0) [[unlikely]]
      FixNearLimits(X[I], Base, Near, Shifts, Offset, Output);
    Trace.Offsets[I] = Offset;
    Trace.Outputs[I] = Output;
    // Misses beyond 16 bits saturate: they are out of tolerance either way.
    const __m128i Miss = _mm_subs_epi16(Output, _mm_set1_epi16(X[I]));
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
  alignas(16) int32_t Errors[8];
  alignas(16) int16_t Highs[8], Lows[8];
  _mm_store_si128(reinterpret_cast<__m128i*>(Errors), Error[0]);
  _mm_store_si128(reinterpret_cast<__m128i*>(Errors + 4), Error[1]);
  _mm_store_si128(reinterpret_cast<__m128i*>(Highs), MaxMiss);
  _mm_store_si128(reinterpret_cast<__m128i*>(Lows), MinMiss);
  for (int L = 0; L < 8; ++L) {
    if (Highs[L] > kEAXARawTolerance || Lows[L] < -kEAXARawTolerance || Errors[L] > Best.Error)
      continue;
    const int F = L & 3, S = Shifts[L >> 2];
    if (Errors[L] < Best.Error || Rank[F][S] < Best.Rank)
      Best = {Errors[L], Rank[F][S], Group, L, {F, S}};
  }
}

} // namespace

TFilterShift FindPairVector(const int16_t* X, TEAXAState& State, uint8_t* Codes) {
  alignas(16) int16_t Buf[32] = {};
  Buf[0] = static_cast<int16_t>(State.H2);
  Buf[1] = static_cast<int16_t>(State.H1);
  std::memcpy(Buf + 2, X, kEAXAFrameSamples * sizeof(int16_t));
  TEstimate Est[4];
  EstimateVector(Buf, Est);
  int Order[4];
  OrderFilters(Est, Order);
  TFilterShift Pairs[kPairs];
  TrialOrder(Est, Order, Pairs);
  int Rank[4][kMaxShift + 1];
  for (int R = 0; R < kPairs; ++R)
    Rank[Pairs[R].Filter][Pairs[R].Shift] = R;
  // The shifts nearest the best filter's estimate first, two at a time, so that a tight bound is known
  // early and the later groups stop after a few samples.
  int Shifts[kMaxShift + 2];
  int Count = 0;
  const int Centre = Est[Order[0]].Shift;
  Shifts[Count++] = Centre;
  for (int Distance = 1; Distance <= kMaxShift; ++Distance)
    for (int S : {Centre + Distance, Centre - Distance})
      if (S >= 0 && S <= kMaxShift)
        Shifts[Count++] = S;
  Shifts[Count] = Shifts[Count - 1]; // an odd count: the last group tries its shift twice
  TTrace Traces[(kMaxShift + 2) / 2];
  TBest Best;
  for (int G = 0; G < Count; G += 2)
    RunGroup(X, State, Shifts + G, Rank, G / 2, Traces[G / 2], Best);
  if (Best.Group < 0)
    return Best.Pair;
  const TTrace& Trace = Traces[Best.Group];
  auto Lane = [&](const __m128i& V) {
    alignas(16) int16_t Lanes[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(Lanes), V);
    return Lanes[Best.Lane];
  };
  for (size_t I = 0; I < kEAXAFrameSamples; ++I)
    Codes[I] = static_cast<uint8_t>((Lane(Trace.Offsets[I]) >> (12 - Best.Pair.Shift)) & 15);
  State = {Lane(Trace.Outputs[kEAXAFrameSamples - 1]), Lane(Trace.Outputs[kEAXAFrameSamples - 2])};
  return Best.Pair;
}

#endif

} // namespace sx::eaxa
