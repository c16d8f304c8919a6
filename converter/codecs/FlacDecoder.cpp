#include "converter/codecs/FlacDecoder.h"

namespace sx {
namespace {

using flac::kLeftSide;
using flac::kMidSide;
using flac::kRates;
using flac::kSideRight;
constexpr unsigned kSampleSizes[8] = {0, 8, 12, 0, 16, 20, 24, 32};

// Block-size codes 1 to 5 and 8 to 15 (6 and 7 are read after the coded number).
unsigned BlockSizeOfCode(unsigned Code) {
  if (Code == 1)
    return 192;
  if (Code >= 2 && Code <= 5)
    return 576u << (Code - 2);
  return 256u << (Code - 8);
}

// Damage unless every sample of Out[0, Count) fits in Bits bits, as two's complement.
void CheckRange(const int32_t* Out, size_t Count, unsigned Bits) {
  const int32_t High = static_cast<int32_t>((int64_t(1) << (Bits - 1)) - 1), Low = -High - 1;
  bool Outside = false;
  for (size_t I = 0; I < Count; ++I)
    Outside |= Out[I] < Low || Out[I] > High;
  if (Outside)
    throw TFlacDamage{"holds a sample beyond its sample size"};
}

void PredictFixed(int32_t* S, size_t Count, unsigned Order) {
  // Every value fits in 25 bits, so these sums fit in 32 with room to spare; they are made in 64 all the
  // same.
  switch (Order) {
  case 1:
    for (size_t I = 1; I < Count; ++I)
      S[I] = static_cast<int32_t>(int64_t(S[I]) + S[I - 1]);
    break;
  case 2:
    for (size_t I = 2; I < Count; ++I)
      S[I] = static_cast<int32_t>(int64_t(S[I]) + 2 * int64_t(S[I - 1]) - S[I - 2]);
    break;
  case 3:
    for (size_t I = 3; I < Count; ++I)
      S[I] = static_cast<int32_t>(int64_t(S[I]) + 3 * (int64_t(S[I - 1]) - S[I - 2]) + S[I - 3]);
    break;
  case 4:
    for (size_t I = 4; I < Count; ++I)
      S[I] = static_cast<int32_t>(int64_t(S[I]) + 4 * (int64_t(S[I - 1]) + S[I - 3]) - 6 * int64_t(S[I - 2]) -
                                  S[I - 4]);
    break;
  default:
    break;
  }
}

// S[I] += (sum of C[J] * S[I - 1 - J]) >> Shift, from I = Order; the sample range is checked as it goes,
// so that every later sum stays far inside 64 bits (32 coefficients of 15 bits times samples of 25). Order
// is a constant for the orders encoders use most, so that the inner loop unrolls.
template <unsigned Fixed>
void PredictLpcOf(int32_t* S, size_t Count, const int32_t* C, unsigned Order, unsigned Shift, unsigned Bits) {
  if (Fixed != 0)
    Order = Fixed;
  const int64_t High = (int64_t(1) << (Bits - 1)) - 1, Low = -High - 1;
  bool Outside = false;
  for (size_t I = Order; I < Count; ++I) {
    int64_t Sum = 0;
    const int32_t* Past = S + I - 1;
    for (unsigned J = 0; J < Order; ++J)
      Sum += int64_t(C[J]) * Past[-static_cast<ptrdiff_t>(J)];
    const int64_t V = S[I] + (Sum >> Shift);
    Outside |= V < Low || V > High;
    S[I] = static_cast<int32_t>(V);
    if (Outside)
      throw TFlacDamage{"holds a sample beyond its sample size"};
  }
}

void PredictLpc(int32_t* S, size_t Count, const int32_t* C, unsigned Order, unsigned Shift, unsigned Bits) {
  using TPredict = void (*)(int32_t*, size_t, const int32_t*, unsigned, unsigned, unsigned);
  static constexpr TPredict kByOrder[13] = {
      PredictLpcOf<0>,  PredictLpcOf<1>,  PredictLpcOf<2>, PredictLpcOf<3>, PredictLpcOf<4>,
      PredictLpcOf<5>,  PredictLpcOf<6>,  PredictLpcOf<7>, PredictLpcOf<8>, PredictLpcOf<9>,
      PredictLpcOf<10>, PredictLpcOf<11>, PredictLpcOf<12>};
  kByOrder[Order <= 12 ? Order : 0](S, Count, C, Order, Shift, Bits);
}

} // namespace

size_t TFlacFrameDecoder::ReadHeader(const uint8_t* Data, size_t Size, size_t Position) {
  const uint8_t* H = Data + Position;
  const size_t Left = Size - Position;
  if (Left < 5)
    throw TFlacCut{};
  if (H[0] != 0xFF || (H[1] & 0xFC) != 0xF8)
    throw TFlacDamage{"does not start with a frame's sync code"};
  // The coded number: like UTF-8, 1 to 7 bytes.
  const uint8_t Lead = H[4];
  size_t NumberBytes = 1;
  uint64_t Number = Lead;
  if (Lead >= 0x80) {
    unsigned Ones = 0;
    while (Ones < 8 && (Lead & (0x80 >> Ones)))
      ++Ones;
    if (Ones < 2 || Ones > 7)
      throw TFlacDamage{"has a malformed frame number"};
    NumberBytes = Ones;
    Number = Ones == 7 ? 0 : Lead & (0x7F >> Ones);
  }
  const unsigned BlockCode = H[2] >> 4, RateCode = H[2] & 15;
  const size_t Extra = (BlockCode == 6   ? 1
                        : BlockCode == 7 ? 2
                                         : 0) +
                       (RateCode == 12                     ? 1
                        : RateCode == 13 || RateCode == 14 ? 2
                                                           : 0);
  const size_t Length = 4 + NumberBytes + Extra; // before the CRC-8
  if (Left < Length + 1)
    throw TFlacCut{};
  for (size_t I = 1; I < NumberBytes; ++I) {
    if ((H[4 + I] & 0xC0) != 0x80)
      throw TFlacDamage{"has a malformed frame number"};
    Number = Number << 6 | (H[4 + I] & 0x3F);
  }
  if (FlacCrc8(H, Length) != H[Length])
    throw TFlacDamage{"has a header that fails its CRC-8"};

  const uint8_t* P = H + 4 + NumberBytes;
  FFrame.Variable = (H[1] & 1) != 0;
  FFrame.Number = Number;
  if (BlockCode == 0)
    throw TFlacDamage{"has a reserved block size code"};
  unsigned Block = 0;
  if (BlockCode == 6)
    Block = *P++ + 1u;
  else if (BlockCode == 7) {
    Block = (P[0] << 8 | P[1]) + 1u;
    P += 2;
  } else
    Block = BlockSizeOfCode(BlockCode);
  if (Block > 65535 || (FInfo.MaxBlock != 0 && Block > FInfo.MaxBlock))
    throw TFlacDamage{"holds a block larger than its stream's largest"};
  FFrame.BlockSize = Block;
  uint32_t Rate = 0;
  if (RateCode == 15)
    throw TFlacDamage{"has an invalid sample rate code"};
  if (RateCode == 12)
    Rate = *P * 1000u;
  else if (RateCode == 13)
    Rate = P[0] << 8 | P[1];
  else if (RateCode == 14)
    Rate = (P[0] << 8 | P[1]) * 10u;
  else
    Rate = kRates[RateCode];
  if (RateCode != 0 && Rate != FInfo.SampleRate)
    throw TFlacDamage{"has a sample rate other than its stream's"};
  FAssignment = H[3] >> 4;
  if (FAssignment > kMidSide)
    throw TFlacDamage{"has a reserved channel assignment"};
  const unsigned Channels = FAssignment >= kLeftSide ? 2 : FAssignment + 1;
  if (Channels != FInfo.Channels)
    throw TFlacDamage{"has a channel count other than its stream's"};
  const unsigned SizeCode = (H[3] >> 1) & 7;
  if (SizeCode == 3 || (H[3] & 1) || (H[1] & 2))
    throw TFlacDamage{"has a reserved value in its header"};
  if (SizeCode != 0 && kSampleSizes[SizeCode] != FInfo.Bits)
    throw TFlacDamage{"has a sample size other than its stream's"};
  return Position + Length + 1;
}

void TFlacFrameDecoder::ReadResidual(TFlacBitReader& R, int32_t* Out, unsigned Order) {
  const unsigned Method = R.Bits(2);
  if (Method > 1)
    throw TFlacDamage{"has a reserved residual coding method"};
  const unsigned ParameterBits = Method == 0 ? 4 : 5, Escape = (1u << ParameterBits) - 1;
  const unsigned PartitionOrder = R.Bits(4);
  const size_t Block = FFrame.BlockSize, Partition = Block >> PartitionOrder;
  if ((Partition << PartitionOrder) != Block || Partition < Order)
    throw TFlacDamage{"has a residual partition order its block does not allow"};
  size_t At = Order;
  for (size_t P = 0; P < (size_t(1) << PartitionOrder); ++P) {
    const size_t Count = P == 0 ? Partition - Order : Partition;
    const unsigned K = R.Bits(ParameterBits);
    if (K == Escape) {
      const unsigned Width = R.Bits(5);
      for (size_t I = 0; I < Count; ++I)
        Out[At + I] = R.Signed(Width);
    } else if (!R.Rice(Out + At, Count, K)) {
      throw TFlacDamage{"has a residual beyond 32 bits"};
    }
    At += Count;
  }
}

void TFlacFrameDecoder::ReadSubframe(TFlacBitReader& R, int32_t* Out, unsigned Bits) {
  const size_t Block = FFrame.BlockSize;
  if (R.Bits(1) != 0)
    throw TFlacDamage{"has a subframe whose first bit is set"};
  const unsigned Type = R.Bits(6);
  unsigned Wasted = 0;
  if (R.Bits(1)) {
    const uint64_t K = R.Unary(Bits);
    if (K + 1 >= Bits)
      throw TFlacDamage{"has more wasted bits than its sample size"};
    Wasted = static_cast<unsigned>(K) + 1;
  }
  const unsigned Width = Bits - Wasted;
  if (Type == 0) {
    const int32_t V = R.Signed(Width);
    for (size_t I = 0; I < Block; ++I)
      Out[I] = V;
  } else if (Type == 1) {
    for (size_t I = 0; I < Block; ++I)
      Out[I] = R.Signed(Width);
  } else if (Type >= 8 && Type <= 12) {
    const unsigned Order = Type - 8;
    if (Order > Block)
      throw TFlacDamage{"has a predictor longer than its block"};
    for (unsigned I = 0; I < Order; ++I)
      Out[I] = R.Signed(Width);
    ReadResidual(R, Out, Order);
    PredictFixed(Out, Block, Order);
    CheckRange(Out, Block, Width);
  } else if (Type >= 32) {
    const unsigned Order = Type - 31;
    if (Order > Block)
      throw TFlacDamage{"has a predictor longer than its block"};
    for (unsigned I = 0; I < Order; ++I)
      Out[I] = R.Signed(Width);
    const unsigned Precision = R.Bits(4) + 1;
    if (Precision == 16)
      throw TFlacDamage{"has an invalid LPC coefficient precision"};
    const int32_t Shift = R.Signed(5);
    if (Shift < 0)
      throw TFlacDamage{"has a negative LPC shift"};
    int32_t Coefficients[32];
    for (unsigned I = 0; I < Order; ++I)
      Coefficients[I] = R.Signed(Precision);
    ReadResidual(R, Out, Order);
    CheckRange(Out, Order, Width);
    PredictLpc(Out, Block, Coefficients, Order, static_cast<unsigned>(Shift), Width);
  } else {
    throw TFlacDamage{"has a reserved subframe type"};
  }
  if (Wasted > 0)
    for (size_t I = 0; I < Block; ++I)
      Out[I] = static_cast<int32_t>(static_cast<uint32_t>(Out[I]) << Wasted);
}

void TFlacFrameDecoder::Decorrelate() {
  if (FAssignment < kLeftSide)
    return;
  const size_t Block = FFrame.BlockSize;
  int32_t* A = FSamples.data();
  int32_t* B = A + Block;
  // The side channel has one bit more than the stream's samples, so none of these sums can overflow.
  for (size_t I = 0; I < Block; ++I) {
    const int32_t X = A[I], Y = B[I];
    if (FAssignment == kLeftSide) {
      B[I] = X - Y;
    } else if (FAssignment == kSideRight) {
      A[I] = X + Y;
    } else {
      const int32_t Mid = static_cast<int32_t>(static_cast<uint32_t>(X) << 1) | (Y & 1);
      A[I] = (Mid + Y) >> 1;
      B[I] = (Mid - Y) >> 1;
    }
  }
  CheckRange(A, 2 * Block, FInfo.Bits);
}

size_t TFlacFrameDecoder::Decode(const uint8_t* Data, size_t Size, size_t Position) {
  const size_t Body = ReadHeader(Data, Size, Position);
  const unsigned Channels = FInfo.Channels;
  FSamples.resize(size_t(Channels) * FFrame.BlockSize);
  TFlacBitReader R(Data, Size, Body);
  for (unsigned C = 0; C < Channels; ++C) {
    const bool Side = (FAssignment == kLeftSide && C == 1) || (FAssignment == kSideRight && C == 0) ||
                      (FAssignment == kMidSide && C == 1);
    ReadSubframe(R, FSamples.data() + size_t(C) * FFrame.BlockSize, FInfo.Bits + (Side ? 1 : 0));
  }
  R.Align();
  const size_t End = R.BytePosition();
  if (Size - End < 2)
    throw TFlacCut{};
  if (FlacCrc16(Data + Position, End - Position) != (Data[End] << 8 | Data[End + 1]))
    throw TFlacDamage{"fails its CRC-16"};
  Decorrelate();
  return End + 2;
}

} // namespace sx
