#pragma once
// The "PT" patch header inside an EA stream's SCHl block: "PT", a LE16 platform, then tags, each a byte
// followed by a length byte and that many big-endian value bytes; FC, FD and FE are markers without a
// value, FF ends the header.

#include "converter/Bytes.h"
#include "converter/codecs/EACodec.h"

namespace sx {

constexpr uint16_t kPlatformPC = 0;

struct TEAHeader {
  uint16_t Platform = kPlatformPC;
  int Version = -1;   // tag 80; -1 when absent
  int Codec2 = -1;    // tag A0
  int Codec1 = -1;    // tag 83 (old numbering)
  unsigned Bits = 16; // tag 81
  unsigned Channels = 1;
  uint32_t SampleRate = 22050;
  bool HasSampleCount = false;
  uint32_t SampleCount = 0; // tag 85, samples per channel
};

// The complete SCHl block for a version-3 PC stream: priority 101, then after FD the version, channels,
// rate, sample count and codec, each value in its shortest length; zero-padded to a multiple of 4.
Bytes WriteEAHeaderBlock(TEACodec Codec, unsigned Channels, uint32_t SampleRate, uint32_t SampleCount);

// Parses the payload of an SCHl block (R covers exactly the payload). Raises EConvertError when the
// payload is not a PT header or ends before FF.
TEAHeader ParseEAHeader(TByteReader& R);

// How a stream's header selects its codec and block layout.
struct TEALayout {
  TEACodec Codec = TEACodec::EAXA;
  TEAVariant Variant;
  bool OffsetTable = true;  // version 1 and later: each data block has a per-channel offset table
  bool Interleaved = false; // version 0 PCM: samples interleaved after the count
  bool EightBit = false;    // interleaved PCM of 8 bits
};

// Raises EConvertError for a combination this program cannot decode.
TEALayout ResolveEALayout(const TEAHeader& Header);

// Samples per channel of each data block for a stream of Total samples: blocks of about 1/15 s, ending
// on whole frames; a last block shorter than one frame is merged into the one before it, and a sound of
// one block but at least two frames is split in two.
std::vector<size_t> EABlockSampleCounts(uint32_t SampleRate, size_t Total, size_t FrameSamples);

} // namespace sx
