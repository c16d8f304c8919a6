#include "converter/codecs/FlacEncoder.h"

#include "converter/codecs/FlacBits.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sx {
namespace {

// Channel assignments of a stereo frame: left and right, or one of them with the side channel, or mid and
// side.
constexpr unsigned kIndependent = 1;
using flac::kLeftSide;
using flac::kMidSide;
using flac::kSideRight;
constexpr unsigned kMaxPartitionOrder = 8;
using flac::kRates;

inline uint32_t Fold(int32_t V) {
  return static_cast<uint32_t>(V) << 1 ^ static_cast<uint32_t>(V >> 31);
}

// The bits of Count values of Rice parameter K whose folded values add up to Sum (the quotients taken as
// Sum >> K, which the real ones never pass).
inline uint64_t RiceBits(uint64_t Sum, uint64_t Count, unsigned K) {
  return Count * (K + 1) + (Sum >> K);
}

// The parameter for Count values adding up to Sum: about log2 of their mean, the cheapest of its
// neighbours.
inline unsigned RiceParameter(uint64_t Sum, uint64_t Count, unsigned Most) {
  if (Count == 0 || Sum < Count)
    return 0;
  unsigned K = 0;
  while (K < Most && (Count << (K + 1)) <= Sum)
    ++K;
  unsigned Best = K;
  for (unsigned Try : {K == 0 ? K : K - 1, K + 1 > Most ? K : K + 1})
    if (RiceBits(Sum, Count, Try) < RiceBits(Sum, Count, Best))
      Best = Try;
  return Best;
}

// Plans the Rice coding of Residual[Order, Count): partition orders up to what the block and the order
// allow, each partition's parameter from its mean; returns the bits, the 6 of method and order included.
uint64_t PlanRice(const int32_t* Residual, unsigned Count, unsigned Order, TFlacEncoder::TRice& Rice) {
  unsigned Most = 0;
  while (Most < kMaxPartitionOrder && Count % (2u << Most) == 0 && (Count >> (Most + 1)) > Order)
    ++Most;
  uint64_t Sums[256];
  const unsigned Length = Count >> Most;
  for (unsigned P = 0, At = 0; P < (1u << Most); ++P) {
    uint64_t Sum = 0;
    const unsigned End = (P + 1) * Length;
    for (At = P == 0 ? Order : At; At < End; ++At)
      Sum += Fold(Residual[At]);
    Sums[P] = Sum;
  }
  uint64_t Best = UINT64_MAX;
  for (int P = static_cast<int>(Most); P >= 0; --P) {
    const unsigned Partitions = 1u << P, Size = Count >> P;
    uint64_t Bits = 6;
    uint8_t Parameters[256];
    unsigned Largest = 0;
    for (unsigned J = 0; J < Partitions; ++J) {
      const uint64_t Samples = J == 0 ? Size - Order : Size;
      Parameters[J] = static_cast<uint8_t>(RiceParameter(Sums[J], Samples, 30));
      Largest = std::max<unsigned>(Largest, Parameters[J]);
      Bits += RiceBits(Sums[J], Samples, Parameters[J]);
    }
    const bool Wide = Largest > 14;
    Bits += uint64_t(Partitions) * (Wide ? 5 : 4);
    if (Bits < Best) {
      Best = Bits;
      Rice.PartitionOrder = static_cast<unsigned>(P);
      Rice.Wide = Wide;
      std::copy(Parameters, Parameters + Partitions, Rice.Parameters);
    }
    for (unsigned J = 0; J < Partitions / 2; ++J) // the sums of the next order down
      Sums[J] = Sums[2 * J] + Sums[2 * J + 1];
  }
  return Best;
}

// The residual of the fixed predictor of Order (0 to 4) from sample Order on.
void FixedResidual(const int32_t* X, unsigned Count, unsigned Order, int32_t* R) {
  for (unsigned I = Order; I < Count; ++I) {
    switch (Order) {
    case 0:
      R[I] = X[I];
      break;
    case 1:
      R[I] = X[I] - X[I - 1];
      break;
    case 2:
      R[I] = X[I] - 2 * X[I - 1] + X[I - 2];
      break;
    case 3:
      R[I] = X[I] - 3 * X[I - 1] + 3 * X[I - 2] - X[I - 3];
      break;
    default:
      R[I] = X[I] - 4 * X[I - 1] + 6 * X[I - 2] - 4 * X[I - 3] + X[I - 4];
      break;
    }
  }
}

// The fixed order whose residual has the smallest sum of absolute values (over the samples from 4 on,
// the same for each), and an estimate of the bits its Rice coding takes.
unsigned BestFixedOrder(const int32_t* X, unsigned Count, uint64_t& Bits) {
  if (Count <= 4) {
    Bits = uint64_t(Count) * 17;
    return 0;
  }
  uint64_t Sum[5] = {};
  int32_t Last0 = X[3], Last1 = X[3] - X[2], Last2 = X[3] - 2 * X[2] + X[1],
          Last3 = X[3] - 3 * X[2] + 3 * X[1] - X[0];
  for (unsigned I = 4; I < Count; ++I) {
    const int32_t E0 = X[I], E1 = E0 - Last0, E2 = E1 - Last1, E3 = E2 - Last2, E4 = E3 - Last3;
    Sum[0] += static_cast<uint32_t>(std::abs(E0));
    Sum[1] += static_cast<uint32_t>(std::abs(E1));
    Sum[2] += static_cast<uint32_t>(std::abs(E2));
    Sum[3] += static_cast<uint32_t>(std::abs(E3));
    Sum[4] += static_cast<uint32_t>(std::abs(E4));
    Last0 = E0;
    Last1 = E1;
    Last2 = E2;
    Last3 = E3;
  }
  unsigned Order = 0;
  for (unsigned O = 1; O <= 4; ++O)
    if (Sum[O] < Sum[Order])
      Order = O;
  // A folded value is about twice the absolute one.
  const uint64_t Folded = 2 * Sum[Order], Samples = Count - 4;
  Bits = RiceBits(Folded, Samples, RiceParameter(Folded, Samples, 30));
  return Order;
}

// R[I] = X[I] - ((sum of C[J] * X[I - 1 - J]) >> Shift) from I = Order; false when a value passes 30 bits.
template <unsigned Order>
bool LpcResidualOf(const int32_t* X, unsigned Count, const int32_t* C, unsigned Shift, int32_t* R) {
  int64_t Largest = 0;
  for (unsigned I = Order; I < Count; ++I) {
    int64_t Sum = 0;
    for (unsigned J = 0; J < Order; ++J)
      Sum += int64_t(C[J]) * X[I - 1 - J];
    const int64_t V = X[I] - (Sum >> Shift);
    Largest = std::max(Largest, V < 0 ? -V : V);
    R[I] = static_cast<int32_t>(V);
  }
  return Largest < (int64_t(1) << 30);
}

bool LpcResidual(const int32_t* X, unsigned Count, const int32_t* C, unsigned Order, unsigned Shift,
                 int32_t* R) {
  switch (Order) {
  case 1:
    return LpcResidualOf<1>(X, Count, C, Shift, R);
  case 2:
    return LpcResidualOf<2>(X, Count, C, Shift, R);
  case 3:
    return LpcResidualOf<3>(X, Count, C, Shift, R);
  case 4:
    return LpcResidualOf<4>(X, Count, C, Shift, R);
  case 5:
    return LpcResidualOf<5>(X, Count, C, Shift, R);
  case 6:
    return LpcResidualOf<6>(X, Count, C, Shift, R);
  case 7:
    return LpcResidualOf<7>(X, Count, C, Shift, R);
  case 8:
    return LpcResidualOf<8>(X, Count, C, Shift, R);
  case 9:
    return LpcResidualOf<9>(X, Count, C, Shift, R);
  case 10:
    return LpcResidualOf<10>(X, Count, C, Shift, R);
  case 11:
    return LpcResidualOf<11>(X, Count, C, Shift, R);
  default:
    return LpcResidualOf<12>(X, Count, C, Shift, R);
  }
}

// Quantises Coefficients[0, Order) to Precision bits with a common right shift (at most 15), carrying each
// one's rounding error to the next; false when they are too large for any shift of 0 or more.
bool Quantise(const double* Coefficients, unsigned Order, unsigned Precision, int32_t* Out, unsigned& Shift) {
  double Largest = 0;
  for (unsigned J = 0; J < Order; ++J)
    Largest = std::max(Largest, std::fabs(Coefficients[J]));
  if (!(Largest > 0))
    return false;
  int Exponent;
  std::frexp(Largest, &Exponent); // Largest < 2^Exponent
  const int Wanted = static_cast<int>(Precision) - 1 - Exponent;
  if (Wanted < 0)
    return false;
  Shift = static_cast<unsigned>(std::min(Wanted, 15));
  const int32_t High = (1 << (Precision - 1)) - 1, Low = -High - 1;
  double Error = 0;
  for (unsigned J = 0; J < Order; ++J) {
    Error += Coefficients[J] * (1 << Shift);
    const int32_t Q = std::clamp(static_cast<int32_t>(std::lround(Error)), Low, High);
    Out[J] = Q;
    Error -= Q;
  }
  return true;
}

} // namespace

TFlacEncoder::TFlacEncoder(unsigned Channels, uint32_t SampleRate, unsigned LpcOrder)
    : FChannels(Channels), FSampleRate(SampleRate), FLpcOrder(std::min(LpcOrder, kMaxLpcOrder)) {}

const std::vector<double>& TFlacEncoder::Window(unsigned Count) {
  if (FWindowSize != Count) {
    // Tukey(0.5): flat in the middle half, a raised cosine over a quarter at each end.
    FWindow.assign(Count, 1.0);
    const unsigned Taper = Count / 4;
    for (unsigned I = 0; I < Taper; ++I) {
      const double W = 0.5 - 0.5 * std::cos(std::numbers::pi * I / Taper);
      FWindow[I] = FWindow[Count - 1 - I] = W;
    }
    FWindowSize = Count;
  }
  return FWindow;
}

void TFlacEncoder::PlanLpc(const int32_t* X, unsigned Count, unsigned Bits, TSubframe& Plan) {
  const unsigned Most = std::min(FLpcOrder, Count / 4);
  if (Most == 0)
    return;
  const std::vector<double>& W = Window(Count);
  FWindowed.resize(Count);
  for (unsigned I = 0; I < Count; ++I)
    FWindowed[I] = X[I] * W[I];
  double R[kMaxLpcOrder + 1];
  for (unsigned Lag = 0; Lag <= Most; ++Lag) {
    double Sum = 0;
    for (unsigned I = Lag; I < Count; ++I)
      Sum += FWindowed[I] * FWindowed[I - Lag];
    R[Lag] = Sum;
  }
  if (!(R[0] > 0))
    return;
  // Levinson-Durbin: the predictor of each order, and its error.
  double A[kMaxLpcOrder][kMaxLpcOrder], Error[kMaxLpcOrder];
  double Current[kMaxLpcOrder] = {}, E = R[0] * (1 + 1e-10);
  unsigned Orders = 0;
  for (unsigned M = 0; M < Most; ++M) {
    double K = R[M + 1];
    for (unsigned J = 0; J < M; ++J)
      K -= Current[J] * R[M - J];
    K /= E;
    double Next[kMaxLpcOrder];
    for (unsigned J = 0; J < M; ++J)
      Next[J] = Current[J] - K * Current[M - 1 - J];
    Next[M] = K;
    std::copy(Next, Next + M + 1, Current);
    E *= 1 - K * K;
    if (!(E > 0))
      break;
    std::copy(Current, Current + M + 1, A[M]);
    Error[M] = E;
    Orders = M + 1;
  }
  if (Orders == 0)
    return;
  // The order whose expected bits are fewest: its coefficients and warm-up, and residuals of about
  // log2 of their deviation each.
  const unsigned Precision = Count <= 576 ? 10 : Count <= 2304 ? 11 : 12;
  double Energy = 0;
  for (double V : W)
    Energy += V * V;
  unsigned Order = 1;
  double Fewest = 1e300;
  for (unsigned M = 1; M <= Orders; ++M) {
    const double PerSample = std::max(0.0, 0.5 * std::log2(Error[M - 1] / Energy));
    const double Expected = M * double(Precision + Bits) + (Count - M) * PerSample;
    if (Expected < Fewest) {
      Fewest = Expected;
      Order = M;
    }
  }
  int32_t Coefficients[kMaxLpcOrder];
  unsigned Shift = 0;
  if (!Quantise(A[Order - 1], Order, Precision, Coefficients, Shift))
    return;
  FResidual.resize(Count);
  if (!LpcResidual(X, Count, Coefficients, Order, Shift, FResidual.data()))
    return;
  TRice Rice;
  const uint64_t Size = 8 + Plan.Wasted + Order * Bits + 4 + 5 + Order * Precision +
                        PlanRice(FResidual.data(), Count, Order, Rice);
  if (Size < Plan.Size) {
    Plan.Kind = TSubframe::Lpc;
    Plan.Order = Order;
    Plan.Precision = Precision;
    Plan.Shift = Shift;
    std::copy(Coefficients, Coefficients + Order, Plan.Coefficients);
    Plan.Rice = Rice;
    Plan.Size = Size;
    Plan.Residual.swap(FResidual);
  }
}

void TFlacEncoder::PlanSubframe(int32_t* X, unsigned Count, unsigned Bits, TSubframe& Plan) {
  Plan.Wasted = 0;
  Plan.Order = 0;
  uint32_t Any = 0;
  bool Constant = true;
  for (unsigned I = 0; I < Count; ++I) {
    Any |= static_cast<uint32_t>(X[I]);
    Constant &= X[I] == X[0];
  }
  if (Constant) {
    Plan.Kind = TSubframe::Constant;
    Plan.Bits = Bits;
    Plan.Size = 8 + Bits;
    return;
  }
  // Low bits that are zero in every sample are taken out and put back by the decoder.
  while (!(Any & 1)) {
    Any >>= 1;
    ++Plan.Wasted;
  }
  if (Plan.Wasted > 0)
    for (unsigned I = 0; I < Count; ++I)
      X[I] >>= Plan.Wasted;
  Plan.Bits = Bits - Plan.Wasted;
  Plan.Kind = TSubframe::Verbatim;
  Plan.Size = 8 + Plan.Wasted + uint64_t(Count) * Plan.Bits;

  uint64_t Estimate = 0;
  const unsigned Order = BestFixedOrder(X, Count, Estimate);
  FResidual.resize(Count);
  FixedResidual(X, Count, Order, FResidual.data());
  TRice Rice;
  const uint64_t Size = 8 + Plan.Wasted + Order * Plan.Bits + PlanRice(FResidual.data(), Count, Order, Rice);
  if (Size < Plan.Size) {
    Plan.Kind = TSubframe::Fixed;
    Plan.Order = Order;
    Plan.Rice = Rice;
    Plan.Size = Size;
    Plan.Residual.swap(FResidual);
  }
  PlanLpc(X, Count, Plan.Bits, Plan);
}

void TFlacEncoder::WriteSubframe(TFlacBitWriter& W, const int32_t* X, unsigned Count, const TSubframe& Plan) {
  static constexpr unsigned kTypes[] = {0, 1, 8, 31};
  W.Bits(0, 1);
  W.Bits(kTypes[Plan.Kind] + Plan.Order, 6);
  if (Plan.Wasted > 0) {
    W.Bits(1, 1);
    W.Unary(Plan.Wasted - 1);
  } else {
    W.Bits(0, 1);
  }
  if (Plan.Kind == TSubframe::Constant) {
    W.Signed(X[0], Plan.Bits);
    return;
  }
  const unsigned Warm = Plan.Kind == TSubframe::Verbatim ? Count : Plan.Order;
  for (unsigned I = 0; I < Warm; ++I)
    W.Signed(X[I], Plan.Bits);
  if (Plan.Kind == TSubframe::Verbatim)
    return;
  if (Plan.Kind == TSubframe::Lpc) {
    W.Bits(Plan.Precision - 1, 4);
    W.Bits(Plan.Shift, 5);
    for (unsigned J = 0; J < Plan.Order; ++J)
      W.Signed(Plan.Coefficients[J], Plan.Precision);
  }
  const TRice& Rice = Plan.Rice;
  W.Bits(Rice.Wide ? 1 : 0, 2);
  W.Bits(Rice.PartitionOrder, 4);
  const unsigned Length = Count >> Rice.PartitionOrder;
  const int32_t* R = Plan.Residual.data();
  for (unsigned P = 0, At = Plan.Order; P < (1u << Rice.PartitionOrder); ++P) {
    const unsigned K = Rice.Parameters[P];
    W.Bits(K, Rice.Wide ? 5 : 4);
    for (const unsigned End = (P + 1) * Length; At < End; ++At)
      W.Rice(R[At], K);
  }
}

void TFlacEncoder::WriteHeader(unsigned Frames, unsigned Assignment, uint64_t Number, bool Variable,
                               Bytes& Out) const {
  const size_t Start = Out.size();
  Out.push_back(0xFF);
  Out.push_back(Variable ? 0xF9 : 0xF8);
  unsigned BlockCode = 0;
  if (Frames == 192)
    BlockCode = 1;
  for (unsigned C = 2; C <= 5; ++C)
    if (Frames == 576u << (C - 2))
      BlockCode = C;
  for (unsigned C = 8; C <= 15; ++C)
    if (Frames == 256u << (C - 8))
      BlockCode = C;
  if (BlockCode == 0)
    BlockCode = Frames <= 256 ? 6 : 7;
  unsigned RateCode = 0;
  for (unsigned C = 1; C < 12; ++C)
    if (FSampleRate == kRates[C])
      RateCode = C;
  if (RateCode == 0)
    RateCode = FSampleRate % 1000 == 0 && FSampleRate / 1000 <= 255 ? 12
               : FSampleRate <= 65535                               ? 13
               : FSampleRate % 10 == 0 && FSampleRate / 10 <= 65535 ? 14
                                                                    : 0;
  Out.push_back(static_cast<uint8_t>(BlockCode << 4 | RateCode));
  Out.push_back(static_cast<uint8_t>(Assignment << 4 | 4 << 1)); // 16-bit samples
  // The number, coded like UTF-8 in up to 7 bytes (36 bits).
  if (Number < 0x80) {
    Out.push_back(static_cast<uint8_t>(Number));
  } else {
    unsigned Length = 2;
    while (Length < 7 && Number >= (uint64_t(1) << (5 * Length + 1)))
      ++Length;
    Out.push_back(static_cast<uint8_t>(((0xFF00 >> Length) & 0xFF) | (Number >> (6 * (Length - 1)))));
    for (unsigned I = Length - 1; I-- > 0;)
      Out.push_back(static_cast<uint8_t>(0x80 | ((Number >> (6 * I)) & 0x3F)));
  }
  if (BlockCode == 6)
    Out.push_back(static_cast<uint8_t>(Frames - 1));
  else if (BlockCode == 7) {
    Out.push_back(static_cast<uint8_t>((Frames - 1) >> 8));
    Out.push_back(static_cast<uint8_t>(Frames - 1));
  }
  if (RateCode == 12) {
    Out.push_back(static_cast<uint8_t>(FSampleRate / 1000));
  } else if (RateCode == 13 || RateCode == 14) {
    const uint32_t V = RateCode == 13 ? FSampleRate : FSampleRate / 10;
    Out.push_back(static_cast<uint8_t>(V >> 8));
    Out.push_back(static_cast<uint8_t>(V));
  }
  Out.push_back(FlacCrc8(Out.data() + Start, Out.size() - Start));
}

void TFlacEncoder::Encode(const int16_t* Samples, unsigned Frames, uint64_t Number, bool Variable,
                          Bytes& Out) {
  const size_t Start = Out.size();
  for (auto& Signal : FSignals)
    Signal.resize(Frames);
  unsigned Assignment = 0;
  if (FChannels == 1) {
    for (unsigned I = 0; I < Frames; ++I)
      FSignals[0][I] = Samples[I];
    PlanSubframe(FSignals[0].data(), Frames, 16, FPlans[0]);
  } else {
    int32_t *L = FSignals[0].data(), *R = FSignals[1].data(), *M = FSignals[2].data(),
            *S = FSignals[3].data();
    for (unsigned I = 0; I < Frames; ++I) {
      L[I] = Samples[2 * I];
      R[I] = Samples[2 * I + 1];
      M[I] = (L[I] + R[I]) >> 1;
      S[I] = L[I] - R[I];
    }
    // The decorrelation whose two channels the fixed predictors code in the fewest bits.
    uint64_t Bits[4];
    for (unsigned C = 0; C < 4; ++C)
      BestFixedOrder(FSignals[C].data(), Frames, Bits[C]);
    struct {
      unsigned Assignment, First, Second;
    } const Choices[] = {{kIndependent, 0, 1}, {kLeftSide, 0, 3}, {kSideRight, 3, 1}, {kMidSide, 2, 3}};
    unsigned Best = 0;
    for (unsigned C = 1; C < 4; ++C)
      if (Bits[Choices[C].First] + Bits[Choices[C].Second] <
          Bits[Choices[Best].First] + Bits[Choices[Best].Second])
        Best = C;
    Assignment = Choices[Best].Assignment;
    const unsigned First = Choices[Best].First, Second = Choices[Best].Second;
    PlanSubframe(FSignals[First].data(), Frames, First == 3 ? 17 : 16, FPlans[0]);
    PlanSubframe(FSignals[Second].data(), Frames, Second == 3 ? 17 : 16, FPlans[1]);
    if (First != 0)
      FSignals[0].swap(FSignals[First]);
    if (Second != 1)
      FSignals[1].swap(FSignals[Second]);
  }
  WriteHeader(Frames, Assignment, Number, Variable, Out);
  TFlacBitWriter W(Out);
  for (unsigned C = 0; C < FChannels; ++C)
    WriteSubframe(W, FSignals[C].data(), Frames, FPlans[C]);
  W.Align();
  const uint16_t Crc = FlacCrc16(Out.data() + Start, Out.size() - Start);
  Out.push_back(static_cast<uint8_t>(Crc >> 8));
  Out.push_back(static_cast<uint8_t>(Crc));
}

} // namespace sx
