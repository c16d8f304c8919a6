// Any input read as an AIFF or AIFF-C file.
#include "converter/formats/AiffReader.h"
#include "fuzz/SxTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  return fuzz::ReadSound(Data, Size, [](const sx::Bytes& In) { return sx::ReadAiff(In); });
}
