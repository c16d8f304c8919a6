// Any block of bytes is compressed and the stream decoded by the tests' independent decoder: the result
// is the input, the stream within the worst-case bound. Input already starting with 10 FB is refused.

#include "archive/EACompr.h"
#include "fuzz/Fuzz.h"
#include "tests/fixtures/RefPack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size >= size_t(eacompr::kMaxInputSize))
    return 0;
  int32_t Length = static_cast<int32_t>(Size);
  const std::vector<uint8_t> Stream = CompressBuffer(Size == 0 ? nullptr : Data, Length);
  if (Size >= 2 && IsCompressed(Data)) {
    FUZZ_CHECK(Stream.empty() && Length == 0);
    return 0;
  }
  FUZZ_CHECK(!Stream.empty() && size_t(Length) == Stream.size());
  FUZZ_CHECK(Stream.size() <= eacompr::MaxCompressedSize(static_cast<int32_t>(Size)));
  try {
    FUZZ_CHECK(fixtures::RefPackDecode(Stream) == fuzz::Bytes(Data, Data + Size));
  } catch (const fixtures::RefPackError&) {
    fuzz::Finding("the stream does not decode");
  }
  return 0;
}
