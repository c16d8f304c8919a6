// One channel of EA-XA data blocks, block after block (see CodecTarget.h).
#include "fuzz/CodecTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  return fuzz::DecodeBlocks(Data, Size, {sx::TEACodec::EAXA});
}
