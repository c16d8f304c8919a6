#pragma once
// EA MicroTalk (UTK), the parts its decoder and encoder share: the tables, a frame's parameters as the
// bitstream carries them, and the reconstruction (excitation and LPC synthesis), so that the encoder
// tracks the decoder's state with the very same arithmetic. Frames hold 432 samples in four subframes of
// 108; the excitation of a frame follows a 324-sample adaptive codebook.

#include <cstddef>
#include <cstdint>

namespace sx {

constexpr size_t kMTFrameSamples = 432;
constexpr size_t kMTSubframeSamples = 108;
constexpr size_t kMTCodebook = 324;
constexpr int kMTOrder = 12;

// The 15-bit stream header, written once at the start of the stream's first frame.
struct TMTStreamHeader {
  bool ReducedBandwidth = true; // 10:1 codes the excitation at every other position
  unsigned BaseThreshold = 8;   // frames whose first reflection index is below 32 - this use multipulse
  unsigned BaseGain = 7;
  unsigned BaseMultiplier = 28;
};

struct TMTSubframe {
  unsigned Lag = 0;       // 8 bits; pitch looks back 108 + Lag excitation samples
  unsigned PitchCode = 0; // 4 bits; gain Code / 15
  unsigned GainIndex = 0; // 6 bits, into the fixed-gain table
  unsigned Align = 0;     // reduced bandwidth: parity of the coded positions
  unsigned Zero = 0;      // reduced bandwidth: 1 leaves the other positions 0, 0 interpolates them
  int Values[kMTSubframeSamples] = {}; // the coded innovation values, in coded order
};

struct TMTFrame {
  unsigned RCIndex[kMTOrder] = {}; // table indices (the 5-bit ones already offset by 16)
  TMTSubframe Sub[4];
};

// Decoder state carried from frame to frame.
struct TMTState {
  float RC[kMTOrder] = {};
  float History[kMTOrder] = {}; // last synthesis outputs, newest first
  float Excitation[kMTCodebook + kMTFrameSamples] = {};
};

// The reflection-coefficient table (64 entries; 0 and 32 are 0, entry 64 - i = -entry i).
float MTReflection(unsigned Index);

// Derived constants of a stream.
struct TMTTables {
  explicit TMTTables(const TMTStreamHeader& Header);
  bool ReducedBandwidth;
  unsigned Threshold; // multipulse when RCIndex[0] < Threshold
  float Gain[64];
};

// The 108 innovation samples of a subframe and the gain they are scaled by: full band, or the coded
// parity with the other positions zero or interpolated (then at half the gain).
void MTInnovation(const TMTTables& T, const TMTSubframe& S, float Innovation[kMTSubframeSamples],
                  float& Gain);

// Builds the excitation of subframe Index of the current frame in State.Excitation.
void MTBuildSubframe(const TMTTables& T, const TMTSubframe& S, unsigned Index, TMTState& State);

// The predictor coefficients A[1..12] (A[0] unused) of each of the four synthesis segments (samples
// 0..11, 12..23, 24..35, 36..431): RC moves a quarter of the way to the frame's table values before each
// segment, and ends at the frame's final set.
struct TMTSegments {
  float A[4][kMTOrder + 1];
};
TMTSegments MTSegments(const TMTFrame& F, float RC[kMTOrder]);
// The segment of sample N.
unsigned MTSegmentOf(size_t N);

// Runs the synthesis filter over excitation samples [From, To) of the current frame, writing the float
// outputs to Out[From..To) and updating State.History.
void MTSynthesize(const TMTSegments& Seg, TMTState& State, size_t From, size_t To, float* Out);

// Ends a frame: its last 324 excitation samples become the codebook.
void MTEndFrame(TMTState& State);

// Output rounding: half away from zero, clamped to 16 bits.
int16_t MTToSample(float V);

} // namespace sx
