// One channel of PCM data blocks (16-bit of either byte order, 8-bit), block after block (see CodecTarget.h).
#include "fuzz/CodecTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  return fuzz::DecodeBlocks(Data, Size,
                            {sx::TEACodec::PcmS16LE, sx::TEACodec::PcmS8, sx::TEACodec::PcmS16BE});
}
