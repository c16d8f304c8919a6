#include "converter/codecs/MicroTalkCodec.h"
#include "converter/codecs/MicroTalkFrame.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sx {
namespace {

constexpr int kMaxPulse = 24;
constexpr double kNoiseFloor = 0.01;
constexpr double kLagWindowHz = 80;
constexpr double kAnalysisRate = 22050;

// Reflection coefficients of the frame by the autocorrelation method (Hamming window, Levinson-Durbin),
// in the sign convention of the decoder's step-up recursion.
void Analyse(const float* X, float K[kMTOrder]) {
  double W[kMTFrameSamples], R[kMTOrder + 1] = {};
  for (size_t N = 0; N < kMTFrameSamples; ++N)
    W[N] = X[N] * (0.54 - 0.46 * std::cos(2 * std::numbers::pi * double(N) / (kMTFrameSamples - 1)));
  for (int L = 0; L <= kMTOrder; ++L)
    for (size_t N = L; N < kMTFrameSamples; ++N)
      R[L] += W[N] * W[N - L];
  std::fill(K, K + kMTOrder, 0.0f);
  if (R[0] < 1e-3)
    return;
  // A noise floor 20 dB down and a lag window keep the poles off the unit circle: a filter that rings too
  // sharply turns the coarse excitation steps into loud errors.
  R[0] *= 1.0 + kNoiseFloor;
  for (int L = 1; L <= kMTOrder; ++L)
    R[L] *= std::exp(-0.5 * std::pow(2 * std::numbers::pi * kLagWindowHz * L / kAnalysisRate, 2));
  double A[kMTOrder + 1] = {1.0}, Prev[kMTOrder + 1], E = R[0];
  for (int M = 1; M <= kMTOrder; ++M) {
    double Acc = R[M];
    for (int I = 1; I < M; ++I)
      Acc += A[I] * R[M - I];
    double Km = std::clamp(-Acc / E, -0.995, 0.995);
    std::copy(A, A + M, Prev);
    for (int I = 1; I < M; ++I)
      A[I] = Prev[I] + Km * Prev[M - I];
    A[M] = Km;
    E *= 1 - Km * Km;
    K[M - 1] = static_cast<float>(Km);
  }
}

unsigned Nearest(float K, unsigned First, unsigned Last) {
  unsigned Best = First;
  for (unsigned I = First; I <= Last; ++I)
    if (std::fabs(MTReflection(I) - K) < std::fabs(MTReflection(Best) - K))
      Best = I;
  return Best;
}

struct TChoice {
  double Error = 1e300;
  size_t Bits = SIZE_MAX;
  TMTSubframe S;
};

class TMTEncoder : public TChannelEncoder {
public:
  explicit TMTEncoder(bool Reduced) : FHeader{Reduced, 8, 7, 28}, FTables(FHeader) {
    const double Ratio = Reduced ? 10 : 5;
    const double FrameBits = kMTFrameSamples * 16 / Ratio;
    FBudget = static_cast<size_t>((FrameBits - 64) / 4) - (Reduced ? 20 : 18);
  }

  void Encode(const int16_t* Samples, size_t Count, size_t Stride, bool FirstBlock, Bytes& Out) override {
    Out.push_back(FirstBlock ? 1 : 0);
    for (size_t Start = 0; Start < Count; Start += kMTFrameSamples) {
      float X[kMTFrameSamples];
      for (size_t N = 0; N < kMTFrameSamples; ++N)
        X[N] = Start + N < Count ? Samples[(Start + N) * Stride] : 0.0f;
      Out.push_back(0); // frame marker: no raw samples
      TMTBitWriter W(&Out);
      if (!FHeaderWritten)
        WriteMTStreamHeader(W, FHeader);
      FHeaderWritten = true;
      WriteMTFrame(W, FTables, EncodeFrame(X));
    }
    Out.push_back(0); // guard byte for decoders that read ahead
  }

private:
  TMTFrame EncodeFrame(const float* X) {
    TMTFrame F;
    float K[kMTOrder];
    Analyse(X, K);
    for (int J = 0; J < kMTOrder; ++J)
      F.RCIndex[J] = J < 4 ? Nearest(K[J], 1, 63) : Nearest(K[J], 16, 47);
    const TMTSegments Seg = MTSegments(F, FState.RC);
    const bool Multipulse = MTMultipulse(FTables, F);
    float Output[kMTFrameSamples];
    for (unsigned I = 0; I < 4; ++I) {
      float Target[kMTSubframeSamples];
      ResidualTarget(X, Seg, I, Target);
      F.Sub[I] = EncodeSubframe(Target, I, Multipulse);
      MTBuildSubframe(FTables, F.Sub[I], I, FState);
      MTSynthesize(Seg, FState, kMTSubframeSamples * I, kMTSubframeSamples * (I + 1), Output);
    }
    MTEndFrame(FState);
    return F;
  }

  // The excitation that would make the decoder output X over subframe I, given the outputs the decoder
  // has actually produced before it.
  void ResidualTarget(const float* X, const TMTSegments& Seg, unsigned I, float* Target) const {
    float Past[kMTOrder + kMTSubframeSamples];
    for (int K = 0; K < kMTOrder; ++K)
      Past[kMTOrder - 1 - K] = FState.History[K];
    for (size_t J = 0; J < kMTSubframeSamples; ++J) {
      const size_t N = kMTSubframeSamples * I + J;
      const float* A = Seg.A[MTSegmentOf(N)];
      float E = X[N];
      for (int K = 1; K <= kMTOrder; ++K)
        E += A[K] * Past[kMTOrder + J - K];
      Past[kMTOrder + J] = X[N];
      Target[J] = E;
    }
  }

  TMTSubframe EncodeSubframe(const float* Target, unsigned I, bool Multipulse) const {
    TMTSubframe S;
    float Pitch[kMTSubframeSamples];
    SearchPitch(Target, I, S, Pitch);
    float Innovation[kMTSubframeSamples];
    const float Beta = static_cast<float>(S.PitchCode) / 15.0f;
    for (size_t J = 0; J < kMTSubframeSamples; ++J)
      Innovation[J] = Target[J] - Beta * Pitch[J];
    TChoice Best;
    const unsigned Variants = FTables.ReducedBandwidth ? 4 : 1;
    for (unsigned V = 0; V < Variants; ++V) {
      S.Align = V & 1;
      S.Zero = V >> 1;
      for (unsigned G = 0; G < 64; ++G) {
        S.GainIndex = G;
        Consider(Innovation, S, Multipulse, Best);
      }
    }
    return Best.S;
  }

  void SearchPitch(const float* Target, unsigned I, TMTSubframe& S, float* Pitch) const {
    const unsigned MaxLag = I == 0 ? 216 : 255;
    double BestScore = 0;
    S.Lag = 0;
    S.PitchCode = 0;
    for (unsigned L = 0; L <= MaxLag; ++L) {
      const float* C = FState.Excitation + 216 + kMTSubframeSamples * I - L;
      double Corr = 0, Energy = 0;
      for (size_t J = 0; J < kMTSubframeSamples; ++J) {
        Corr += double(Target[J]) * C[J];
        Energy += double(C[J]) * C[J];
      }
      if (Corr > 0 && Energy > 0 && Corr * Corr / Energy > BestScore) {
        BestScore = Corr * Corr / Energy;
        S.Lag = L;
        S.PitchCode = static_cast<unsigned>(std::clamp(std::lround(15 * Corr / Energy), 0l, 15l));
      }
    }
    std::copy_n(FState.Excitation + 216 + kMTSubframeSamples * I - S.Lag, kMTSubframeSamples, Pitch);
  }

  // Quantises the innovation at gain S.GainIndex and keeps S if it beats Best within the bit budget.
  void Consider(const float* Innovation, TMTSubframe& S, bool Multipulse, TChoice& Best) const {
    float Gain = FTables.Gain[S.GainIndex];
    if (FTables.ReducedBandwidth && !S.Zero)
      Gain *= 0.5f;
    const size_t Coded = MTCodedValues(FTables);
    for (size_t K = 0; K < Coded; ++K) {
      const float V = Innovation[FTables.ReducedBandwidth ? S.Align + 2 * K : K] / Gain;
      S.Values[K] = Multipulse
                        ? static_cast<int>(std::clamp(std::lround(V), -long(kMaxPulse), long(kMaxPulse)))
                    : V > 1  ? 2
                    : V < -1 ? -2
                             : 0;
    }
    float Decoded[kMTSubframeSamples], Used;
    MTInnovation(FTables, S, Decoded, Used);
    double Error = 0;
    for (size_t J = 0; J < kMTSubframeSamples; ++J) {
      const double D = Innovation[J] - double(Used) * Decoded[J];
      Error += D * D;
    }
    const size_t Bits = MTInnovationBits(FTables, Multipulse, S.Values);
    const bool Fits = Bits <= FBudget, BestFits = Best.Bits <= FBudget;
    if ((Fits && (!BestFits || Error < Best.Error)) || (!Fits && !BestFits && Bits < Best.Bits)) {
      Best.Error = Error;
      Best.Bits = Bits;
      Best.S = S;
    }
  }

  TMTStreamHeader FHeader;
  TMTTables FTables;
  TMTState FState;
  size_t FBudget;
  bool FHeaderWritten = false;
};

} // namespace

std::unique_ptr<TChannelEncoder> MakeMicroTalkEncoder(bool ReducedBandwidth) {
  return std::make_unique<TMTEncoder>(ReducedBandwidth);
}

} // namespace sx
