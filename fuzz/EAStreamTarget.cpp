// Any input read as an EA stream (SCHl header, data blocks, SCEl), with every codec the header may name.
#include "converter/formats/EAStreamReader.h"
#include "fuzz/SxTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  return fuzz::ReadSound(Data, Size, [](const sx::Bytes& In) {
    sx::TEAStreamInfo Info;
    return sx::ReadEAStream(In, &Info);
  });
}
