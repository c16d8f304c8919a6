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

// No ADPCM frame misses a sample by more than this when raw frames are allowed. Half the coarsest step
// (shift 0, steps of 4096) is the most that rounding to the nearest code misses by: a pair that misses by
// more has run out of code range, and when every pair does, no filter and shift can follow the signal at
// all (a full-scale jump, or clipping that the predictor overshoots). Such frames are rare in music, so
// their 46 extra bytes do not count, and the error stays that of the coarsest step everywhere else.
constexpr int32_t kEAXARawTolerance = 2048;

// Encodes 28 samples into one frame at Out (room for a raw frame): tries every filter (0..3) with every
// shift (0..12), choosing each code to land nearest the input while reconstructing exactly as
// DecodeEAXAFrame will, and keeps the pair with the smallest squared error over the first Valid samples
// (the rest is padding at the stream's end, which the decoder discards). With AllowRaw only pairs within
// kEAXARawTolerance of every sample count, and the frame is written raw when there is none. State advances
// to what the decoder will hold after the frame, so errors never build up from frame to frame. Returns the
// frame's size.
// Search picks how the pairs are tried: Vector, where the build has SSE2, sixteen at a time with AVX2 where
// the processor has it and eight at a time with SSE2 otherwise (for whole frames with raw frames allowed;
// the others go the plain way); Sse2 eight at a time in any case; Plain one after another. All give the
// same bytes.
enum class TEAXASearch { Vector, Sse2, Plain };
bool EAXAVectorSearch(); // the build has the vectorised search
bool EAXAWideSearch();   // Vector runs sixteen pairs at a time on this processor
size_t EncodeEAXAFrame(const int16_t* Samples, TEAXAState& State, uint8_t* Out,
                       size_t Valid = kEAXAFrameSamples, bool AllowRaw = true,
                       TEAXASearch Search = TEAXASearch::Vector);

} // namespace sx
