#pragma once
// EA-XA ADPCM, one channel: 28 samples per 15-byte frame (a filter/shift byte, then 28 four-bit codes,
// high nibble first), and in the PCM-capable revision 61-byte raw frames marked by 0xEE.

#include <cstddef>
#include <cstdint>

namespace sx {

constexpr size_t kEAXAFrameSamples = 28;
constexpr size_t kEAXAFrameBytes = 15;
constexpr size_t kEAXARawFrameBytes = 61;

// The decoder's predictor history: the last two outputs, newest first.
struct TEAXAState {
  int32_t H1 = 0;
  int32_t H2 = 0;
};

struct TEAXAVariant {
  bool RawFrames = true; // 0xEE frames allowed (version 3, or version 2 on PC)
  bool Rounding = false; // the old revision adds 128 before the final shift
};

// Decodes the frame at Frame into 28 samples and advances State. Returns the frame's size in bytes, or 0
// if Available is too short for it or the filter index is invalid.
size_t DecodeEAXAFrame(const uint8_t* Frame, size_t Available, TEAXAState& State, int16_t* Out,
                       TEAXAVariant Variant = {});

// Encodes 28 samples into one 15-byte ADPCM frame: tries every filter (0..3) with every shift (0..12),
// choosing each code to land nearest the input while reconstructing exactly as DecodeEAXAFrame will, and
// keeps the pair with the smallest squared error. State advances to what the decoder will hold after the
// frame, so errors never build up from frame to frame.
void EncodeEAXAFrame(const int16_t* Samples, TEAXAState& State, uint8_t* Out);

} // namespace sx
