// Any input read as a RIFF Wave file.
#include "converter/formats/WaveReader.h"
#include "fuzz/SxTarget.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  return fuzz::ReadSound(Data, Size, [](const sx::Bytes& In) { return sx::ReadWave(In); });
}
