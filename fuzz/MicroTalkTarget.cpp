// One channel of MicroTalk data blocks (10:1 and 5:1), block after block (see CodecTarget.h).
#include "fuzz/CodecTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  return fuzz::DecodeBlocks(Data, Size, {sx::TEACodec::MicroTalk10, sx::TEACodec::MicroTalk5});
}
