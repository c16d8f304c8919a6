#pragma once
// One FLAC frame: the header (sync code, block size, rate, channel assignment, sample size, frame or sample
// number, CRC-8), a subframe per channel (CONSTANT, VERBATIM, FIXED of order 0 to 4, LPC of order 1 to 32,
// each with its wasted bits), the stereo decorrelation undone, and the CRC-16 of the whole frame.

#include "converter/Audio.h"
#include "converter/codecs/FlacBits.h"

#include <array>

namespace sx {

// What the STREAMINFO block tells.
struct TFlacStreamInfo {
  uint32_t MinBlock = 0;
  uint32_t MaxBlock = 0;
  uint32_t MinFrame = 0; // bytes; 0 when not known
  uint32_t MaxFrame = 0;
  uint32_t SampleRate = 0;
  unsigned Channels = 0;
  unsigned Bits = 0;
  uint64_t TotalSamples = 0;     // per channel; 0 when not known
  std::array<uint8_t, 16> Md5{}; // of the decoded samples; all zeros when not known
};

// Damage a frame's decoder finds, named for the user ("fails its CRC-16"); the stream's reader adds which
// frame.
struct TFlacDamage {
  const char* What;
};

struct TFlacFrame {
  bool Variable = false; // Number is the first sample's number, not the frame's
  uint64_t Number = 0;
  unsigned BlockSize = 0;
};

class TFlacFrameDecoder {
public:
  // Info must hold 1 to 8 channels of 4 to 24 bits: the frames must agree with it.
  explicit TFlacFrameDecoder(const TFlacStreamInfo& Info) : FInfo(Info) {}

  // Decodes the frame at Data[Position] and returns the position after it. Raises TFlacCut when the
  // frame runs past Data[Size - 1], TFlacDamage when it breaks the format, a CRC or its stream's values.
  // Its memory is the block's samples, at most 65535 per channel.
  size_t Decode(const uint8_t* Data, size_t Size, size_t Position);

  const TFlacFrame& Frame() const { return FFrame; }
  // The last frame's samples of channel C, at the stream's sample size.
  const int32_t* Channel(unsigned C) const { return FSamples.data() + size_t(C) * FFrame.BlockSize; }

private:
  size_t ReadHeader(const uint8_t* Data, size_t Size, size_t Position);
  void ReadSubframe(TFlacBitReader& R, int32_t* Out, unsigned Bits);
  void ReadResidual(TFlacBitReader& R, int32_t* Out, unsigned Order);
  void Decorrelate();

  TFlacStreamInfo FInfo;
  TFlacFrame FFrame;
  unsigned FAssignment = 0; // 0 to 7 independent, 8 left/side, 9 side/right, 10 mid/side
  std::vector<int32_t> FSamples;
};

} // namespace sx
