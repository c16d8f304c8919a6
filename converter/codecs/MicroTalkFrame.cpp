#include "converter/codecs/MicroTalkFrame.h"

#include <cstdlib>

namespace sx {
namespace {

constexpr size_t kMinRun = 8; // a run code of 7 zeros costs as much as seven single zero codes
constexpr size_t kMaxRun = 70;

// Multipulse model 0 and model 1; see the header. Leading ones decide the code.
int ReadMultipulse(TMTBitReader& R, int& Model, size_t& Run) {
  const unsigned MaxOnes = Model == 0 ? 8 : 7;
  unsigned Ones = 0;
  while (Ones < MaxOnes && R.Bit())
    ++Ones;
  if (Ones == MaxOnes) { // zero run
    Run = 7 + R.Bits(6);
    Model = 0;
    return 0;
  }
  if (Ones == MaxOnes - 1) { // escape
    int Magnitude = 7;
    while (R.Bit())
      ++Magnitude;
    Model = 1;
    return R.Bit() ? Magnitude : -Magnitude;
  }
  if (Model == 0) {
    if (Ones == 0)
      return R.Bit() ? -1 : 0;
    if (Ones == 1)
      return 1;
    Model = 1;
    return R.Bit() ? int(Ones) : -int(Ones);
  }
  if (Ones == 0) {
    if (!R.Bit()) {
      Model = 0;
      return 0;
    }
    Model = 0;
    return R.Bit() ? 1 : -1;
  }
  return R.Bit() ? int(Ones) + 1 : -int(Ones) - 1;
}

void WriteSign(TMTBitWriter& W, int V) {
  W.Bit(V > 0);
}

void WriteMultipulse(TMTBitWriter& W, int V, int& Model) {
  const int M = std::abs(V);
  if (M >= 7) {
    W.Code(Model == 0 ? "11111110" : "1111110");
    for (int I = 7; I < M; ++I)
      W.Bit(1);
    W.Bit(0);
    WriteSign(W, V);
    Model = 1;
    return;
  }
  if (Model == 0) {
    if (M == 0)
      W.Code("00");
    else if (V == -1)
      W.Code("01");
    else if (V == 1)
      W.Code("10");
    else {
      for (int I = 0; I < M; ++I)
        W.Bit(1);
      W.Bit(0);
      WriteSign(W, V);
    }
  } else {
    if (M == 0)
      W.Code("00");
    else if (M == 1) {
      W.Code("01");
      WriteSign(W, V);
    } else {
      for (int I = 1; I < M; ++I)
        W.Bit(1);
      W.Bit(0);
      WriteSign(W, V);
    }
  }
  Model = M >= 2 ? 1 : 0;
}

void ReadInnovation(TMTBitReader& R, const TMTTables& T, bool Multipulse, int* Values) {
  const size_t Count = MTCodedValues(T);
  int Model = 0;
  for (size_t I = 0; I < Count;) {
    if (!Multipulse) {
      Values[I++] = !R.Bit() ? 0 : R.Bit() ? 2 : -2;
      continue;
    }
    size_t Run = 0;
    int V = ReadMultipulse(R, Model, Run);
    if (Run == 0) {
      Values[I++] = V;
      continue;
    }
    for (; Run > 0 && I < Count; --Run) // a run passing the subframe's end is cut there
      Values[I++] = 0;
  }
}

void WriteInnovation(TMTBitWriter& W, const TMTTables& T, bool Multipulse, const int* Values) {
  const size_t Count = MTCodedValues(T);
  int Model = 0;
  for (size_t I = 0; I < Count;) {
    if (!Multipulse) {
      W.Code(Values[I] == 0 ? "0" : Values[I] < 0 ? "10" : "11");
      ++I;
      continue;
    }
    size_t Run = 0;
    while (I + Run < Count && Run < kMaxRun && Values[I + Run] == 0)
      ++Run;
    if (Run >= kMinRun) {
      W.Code(Model == 0 ? "11111111" : "1111111");
      W.Bits(static_cast<unsigned>(Run - 7), 6);
      Model = 0;
      I += Run;
      continue;
    }
    WriteMultipulse(W, Values[I++], Model);
  }
}

} // namespace

void ReadMTStreamHeader(TMTBitReader& R, TMTStreamHeader& H) {
  H.ReducedBandwidth = R.Bit();
  H.BaseThreshold = R.Bits(4);
  H.BaseGain = R.Bits(4);
  H.BaseMultiplier = R.Bits(6);
}

void WriteMTStreamHeader(TMTBitWriter& W, const TMTStreamHeader& H) {
  W.Bit(H.ReducedBandwidth);
  W.Bits(H.BaseThreshold, 4);
  W.Bits(H.BaseGain, 4);
  W.Bits(H.BaseMultiplier, 6);
}

void ReadMTFrame(TMTBitReader& R, const TMTTables& T, TMTFrame& F) {
  for (int J = 0; J < kMTOrder; ++J)
    F.RCIndex[J] = J < 4 ? R.Bits(6) : 16 + R.Bits(5);
  const bool Multipulse = MTMultipulse(T, F);
  for (TMTSubframe& S : F.Sub) {
    S.Lag = R.Bits(8);
    S.PitchCode = R.Bits(4);
    S.GainIndex = R.Bits(6);
    if (T.ReducedBandwidth) {
      S.Align = R.Bit();
      S.Zero = R.Bit();
    }
    ReadInnovation(R, T, Multipulse, S.Values);
  }
}

void WriteMTFrame(TMTBitWriter& W, const TMTTables& T, const TMTFrame& F) {
  for (int J = 0; J < kMTOrder; ++J)
    W.Bits(J < 4 ? F.RCIndex[J] : F.RCIndex[J] - 16, J < 4 ? 6 : 5);
  const bool Multipulse = MTMultipulse(T, F);
  for (const TMTSubframe& S : F.Sub) {
    W.Bits(S.Lag, 8);
    W.Bits(S.PitchCode, 4);
    W.Bits(S.GainIndex, 6);
    if (T.ReducedBandwidth) {
      W.Bit(S.Align);
      W.Bit(S.Zero);
    }
    WriteInnovation(W, T, Multipulse, S.Values);
  }
}

size_t MTInnovationBits(const TMTTables& T, bool Multipulse, const int* Values) {
  TMTBitWriter Counter(nullptr);
  WriteInnovation(Counter, T, Multipulse, Values);
  return Counter.Count();
}

} // namespace sx
