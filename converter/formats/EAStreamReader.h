#pragma once
// Reads EA stream audio (.asf): SCHl with a PT header, then data blocks up to SCEl. Decodes EA-XA (both
// revisions), signed 16-bit PCM of either byte order, signed 8-bit PCM, MicroTalk 10:1 and 5:1 in the
// per-channel block layout of version 1 and later, and the interleaved PCM of version 0.

#include "converter/Audio.h"
#include "converter/codecs/EACodec.h"
#include "converter/formats/EAStreamHeader.h"

namespace sx {

struct TEABlockInfo {
  size_t Samples = 0;
  std::vector<TChannelBlockInfo> Channels;
};

// What the reader found besides the sound, for checking a stream's structure.
struct TEAStreamInfo {
  TEAHeader Header;
  TEALayout Layout;
  uint32_t CountField = 0; // the SCCl value, 0 if there is no SCCl
  std::vector<TEABlockInfo> Blocks;
};

// True if Data starts with an SCHl block.
bool IsEAStream(const Bytes& Data);

// Raises EConvertError for a damaged, truncated or unsupported stream. Info, if given, receives the
// structure.
TAudio ReadEAStream(const Bytes& Data, TEAStreamInfo* Info = nullptr);

} // namespace sx
