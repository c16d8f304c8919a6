#pragma once
// FLAC frames of 16-bit sound, within the streamable subset: per frame, the stereo decorrelation (left and
// right, left/side, side/right or mid/side) whose channels the fixed predictors code best; per subframe the
// cheapest of CONSTANT, VERBATIM, the best fixed predictor (orders 0 to 4) and a quantised LPC predictor
// (autocorrelation of the Tukey(0.5)-windowed block, Levinson-Durbin, the order up to LpcOrder, 8 unless
// told and 12 at most, from its expected bits), with wasted bits taken out; the residual in Rice partitions
// of orders 0 to 8, each partition's parameter from its mean.

#include "converter/Audio.h"
#include "converter/codecs/FlacBits.h"

namespace sx {

class TFlacEncoder {
public:
  static constexpr unsigned kMaxLpcOrder = 12;

  // Channels: 1 or 2; SampleRate: 1 Hz to 1 MHz (rates a frame header cannot give are left to STREAMINFO).
  TFlacEncoder(unsigned Channels, uint32_t SampleRate, unsigned LpcOrder = 8);

  // Appends the frame of Frames (1 to 65535) frames of interleaved Samples to Out. Number is the frame's
  // number, or with Variable the number of its first sample.
  void Encode(const int16_t* Samples, unsigned Frames, uint64_t Number, bool Variable, Bytes& Out);

  // The Rice coding of a residual: partition order, 4- or 5-bit parameters, each partition's parameter.
  struct TRice {
    unsigned PartitionOrder = 0;
    bool Wide = false;
    uint8_t Parameters[256] = {};
  };

  // How one channel of a frame is coded.
  struct TSubframe {
    enum TKind { Constant, Verbatim, Fixed, Lpc } Kind = Verbatim;
    unsigned Wasted = 0; // low bits every sample has zero, taken out
    unsigned Bits = 0;   // of the samples with the wasted bits taken out
    unsigned Order = 0;  // of the fixed or LPC predictor
    unsigned Precision = 0;
    unsigned Shift = 0;
    int32_t Coefficients[kMaxLpcOrder] = {};
    TRice Rice;
    uint64_t Size = 0; // bits, as planned
    std::vector<int32_t> Residual;
  };

private:
  // Plans the coding of Signal, whose wasted bits it shifts out in place.
  void PlanSubframe(int32_t* Signal, unsigned Count, unsigned Bits, TSubframe& Plan);
  void PlanLpc(const int32_t* Signal, unsigned Count, unsigned Bits, TSubframe& Plan);
  void WriteSubframe(TFlacBitWriter& W, const int32_t* Signal, unsigned Count, const TSubframe& Plan);
  void WriteHeader(unsigned Frames, unsigned Assignment, uint64_t Number, bool Variable, Bytes& Out) const;
  const std::vector<double>& Window(unsigned Count);

  unsigned FChannels;
  uint32_t FSampleRate;
  unsigned FLpcOrder;
  std::vector<int32_t> FSignals[4]; // left, right, mid, side
  std::vector<int32_t> FResidual;
  TSubframe FPlans[2];
  std::vector<double> FWindowed;
  std::vector<double> FWindow;
  unsigned FWindowSize = 0;
};

} // namespace sx
