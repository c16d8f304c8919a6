#include "converter/codecs/MicroTalk.h"

#include <algorithm>
#include <cmath>

namespace sx {
namespace {

constexpr float kReflection[32] = {
    0.0f,          -0.996775985f, -0.990327001f, -0.98387903f,  -0.977430999f, -0.970982015f, -0.964533985f,
    -0.958085001f, -0.95163703f,  -0.930754006f, -0.904959977f, -0.87916702f,  -0.853372991f, -0.827579021f,
    -0.801786005f, -0.775991976f, -0.750198007f, -0.724404991f, -0.698611021f, -0.670634985f, -0.619047999f,
    -0.567460001f, -0.515873015f, -0.464286f,    -0.412698001f, -0.361110985f, -0.309524f,    -0.257937014f,
    -0.206349f,    -0.154762f,    -0.103174999f, -0.0515870005f};

constexpr float kInterpolation[3] = {0.59738597f, -0.11459156f, 0.01803268f};

// The step-up recursion from reflection coefficients to the direct-form predictor.
void StepUp(const float RC[kMTOrder], float A[kMTOrder + 1]) {
  float Prev[kMTOrder + 1] = {1.0f};
  A[0] = 1.0f;
  for (int M = 1; M <= kMTOrder; ++M) {
    std::copy(A, A + M, Prev);
    for (int I = 1; I < M; ++I)
      A[I] = Prev[I] + RC[M - 1] * Prev[M - I];
    A[M] = RC[M - 1];
  }
}

} // namespace

float MTReflection(unsigned Index) {
  Index &= 63;
  return Index <= 32 ? (Index == 32 ? 0.0f : kReflection[Index]) : -kReflection[64 - Index];
}

TMTTables::TMTTables(const TMTStreamHeader& H)
    : ReducedBandwidth(H.ReducedBandwidth), Threshold(32 - H.BaseThreshold) {
  const float Ratio = 1.04f + 0.001f * static_cast<float>(H.BaseMultiplier);
  Gain[0] = 8.0f * static_cast<float>(1 + H.BaseGain);
  for (int I = 1; I < 64; ++I)
    Gain[I] = Gain[I - 1] * Ratio;
}

void MTInnovation(const TMTTables& T, const TMTSubframe& S, float* Innovation, float& Gain) {
  Gain = T.Gain[S.GainIndex & 63];
  if (!T.ReducedBandwidth) {
    for (size_t J = 0; J < kMTSubframeSamples; ++J)
      Innovation[J] = static_cast<float>(S.Values[J]);
    return;
  }
  std::fill(Innovation, Innovation + kMTSubframeSamples, 0.0f);
  for (size_t K = 0; K < kMTSubframeSamples / 2; ++K)
    Innovation[S.Align + 2 * K] = static_cast<float>(S.Values[K]);
  if (S.Zero)
    return;
  auto At = [&](long N) { return N < 0 || N >= long(kMTSubframeSamples) ? 0.0f : Innovation[N]; };
  for (long N = 1 - long(S.Align); N < long(kMTSubframeSamples); N += 2)
    Innovation[N] = kInterpolation[0] * (At(N - 1) + At(N + 1)) +
                    kInterpolation[1] * (At(N - 3) + At(N + 3)) + kInterpolation[2] * (At(N - 5) + At(N + 5));
  Gain *= 0.5f;
}

void MTBuildSubframe(const TMTTables& T, const TMTSubframe& S, unsigned Index, TMTState& State) {
  float Innovation[kMTSubframeSamples];
  float Gain;
  MTInnovation(T, S, Innovation, Gain);
  const float Beta = static_cast<float>(S.PitchCode) / 15.0f;
  float* E = State.Excitation;
  for (size_t J = 0; J < kMTSubframeSamples; ++J) {
    long Source = long(216 + kMTSubframeSamples * Index + J) - long(S.Lag);
    E[kMTCodebook + kMTSubframeSamples * Index + J] =
        Gain * Innovation[J] + Beta * E[Source < 0 ? 0 : Source];
  }
}

TMTSegments MTSegments(const TMTFrame& F, float RC[kMTOrder]) {
  float Delta[kMTOrder];
  for (int J = 0; J < kMTOrder; ++J)
    Delta[J] = (MTReflection(F.RCIndex[J]) - RC[J]) * 0.25f;
  TMTSegments Seg;
  for (int S = 0; S < 4; ++S) {
    for (int J = 0; J < kMTOrder; ++J)
      RC[J] += Delta[J];
    StepUp(RC, Seg.A[S]);
  }
  return Seg;
}

unsigned MTSegmentOf(size_t N) {
  return N < 36 ? static_cast<unsigned>(N / 12) : 3;
}

void MTSynthesize(const TMTSegments& Seg, TMTState& State, size_t From, size_t To, float* Out) {
  float* H = State.History;
  for (size_t N = From; N < To; ++N) {
    const float* A = Seg.A[MTSegmentOf(N)];
    float Y = State.Excitation[kMTCodebook + N];
    for (int K = 1; K <= kMTOrder; ++K)
      Y -= A[K] * H[K - 1];
    std::copy_backward(H, H + kMTOrder - 1, H + kMTOrder);
    H[0] = Y;
    Out[N] = Y;
  }
}

void MTEndFrame(TMTState& State) {
  std::copy(State.Excitation + kMTFrameSamples, State.Excitation + kMTCodebook + kMTFrameSamples,
            State.Excitation);
}

int16_t MTToSample(float V) {
  if (!std::isfinite(V))
    return 0;
  float R = V < 0 ? std::ceil(V - 0.5f) : std::floor(V + 0.5f);
  return static_cast<int16_t>(std::clamp(R, -32768.0f, 32767.0f));
}

} // namespace sx
