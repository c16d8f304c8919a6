#include "converter/analysis/Gain.h"

#include "converter/analysis/Loudness.h"
#include "converter/analysis/TruePeak.h"

#include <algorithm>
#include <cmath>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sx {

TGainResult LimitGain(double Requested, double TruePeak) {
  return LimitGainDb(Requested, Decibels(TruePeak));
}

TGainResult LimitGain(double Requested, const TAudio& Audio) {
  // A hair under the level at which the peak meets the ceiling, so that every peak the comparison in
  // decibels holds back is found, however the conversions between the scales round.
  const double Level = std::pow(10.0, (kTruePeakCeilingDb - Requested) / 20) * (1 - 1e-9);
  const TPeaks Peaks = FindPeaks(Audio, Level);
  TGainResult R = LimitGainDb(Requested, Peaks.True ? Decibels(*Peaks.True) : std::nullopt);
  R.PeakUnderCeiling = !Peaks.True && Peaks.Sample > 0;
  return R;
}

TGainResult LimitGainDb(double Requested, std::optional<double> TruePeakDb) {
  TGainResult R;
  R.Requested = Requested;
  R.Applied = Requested;
  R.TruePeak = TruePeakDb;
  if (R.TruePeak && *R.TruePeak + Requested > kTruePeakCeilingDb) {
    R.Applied = kTruePeakCeilingDb - *R.TruePeak;
    R.HeldBack = true;
  }
  return R;
}

double GainTowards(double Target, double Integrated) {
  return std::clamp(std::round((Target - Integrated) * 100) / 100, -kMaxGainDb, kMaxGainDb);
}

namespace {

// Round16 of each of Count samples times Factor, in place. Four samples at a time with SSE2, in 32-bit
// integers: a value held within +-40000 first rounds to the same sample, and packing with saturation
// clamps it.
void ScaleSamples(int16_t* Samples, size_t Count, double Factor) {
  size_t N = 0;
#if defined(__SSE2__)
  const __m128d Scale = _mm_set1_pd(Factor), Low = _mm_set1_pd(-40000.0), High = _mm_set1_pd(40000.0);
  const __m128d Half = _mm_set1_pd(0.5), MinusHalf = _mm_set1_pd(-0.5);
  auto RoundTwo = [&](__m128i Two) { // two samples in the low 32-bit lanes; their rounded values
    const __m128d Value = _mm_min_pd(_mm_max_pd(_mm_mul_pd(_mm_cvtepi32_pd(Two), Scale), Low), High);
    const __m128i Whole = _mm_cvttpd_epi32(Value); // towards zero
    const __m128d Rest = _mm_sub_pd(Value, _mm_cvtepi32_pd(Whole));
    // The comparisons give all ones (-1) per lane where true: up one, or down one.
    const __m128i Up = _mm_castpd_si128(_mm_cmpge_pd(Rest, Half));
    const __m128i Down = _mm_castpd_si128(_mm_cmple_pd(Rest, MinusHalf));
    const __m128i Step = _mm_shuffle_epi32(_mm_sub_epi32(Down, Up), _MM_SHUFFLE(3, 3, 2, 0));
    return _mm_add_epi32(Whole, Step);
  };
  for (; N + 4 <= Count; N += 4) {
    const __m128i Pairs = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(Samples + N));
    const __m128i Four = _mm_srai_epi32(_mm_unpacklo_epi16(Pairs, Pairs), 16); // sign-extended
    const __m128i Rounded =
        _mm_unpacklo_epi64(RoundTwo(Four), RoundTwo(_mm_shuffle_epi32(Four, _MM_SHUFFLE(1, 0, 3, 2))));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(Samples + N), _mm_packs_epi32(Rounded, Rounded));
  }
#endif
  for (; N < Count; ++N)
    Samples[N] = Round16(Samples[N] * Factor);
}

// A sound of more samples than there are 16-bit values has each value scaled once, and its samples look
// theirs up.
constexpr size_t kValues = 65536;

} // namespace

void ApplyGain(TAudio& Audio, const TGainResult& Result) {
  const double Factor = std::pow(10.0, Result.Applied / 20);
  if (Audio.Samples.size() <= kValues) {
    ScaleSamples(Audio.Samples.data(), Audio.Samples.size(), Factor);
    return;
  }
  std::vector<int16_t> Scaled(kValues);
  for (size_t V = 0; V < kValues; ++V)
    Scaled[V] = static_cast<int16_t>(int32_t(V) - 32768);
  ScaleSamples(Scaled.data(), kValues, Factor);
  for (int16_t& Sample : Audio.Samples)
    Sample = Scaled[size_t(Sample + 32768)];
}

} // namespace sx
