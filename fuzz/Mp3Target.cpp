// Any input to the converter's own MP3 parsing, ahead of the system's decoder: the format test, the frame
// search from every frame found to the next, and the gapless tag of the first frame.
#include "converter/formats/Mp3Reader.h"
#include "fuzz/Fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const sx::Bytes In(Data, Data + Size);
  sx::IsMp3(In);
  sx::TMp3Frame Frame;
  if (!sx::FindMp3Frame(In, 0, Frame))
    return 0;
  const sx::TMp3Gapless Gapless = sx::ReadMp3Gapless(In, Frame);
  FUZZ_CHECK(Gapless.TagFrame || (Gapless.Delay == 0 && Gapless.Padding == 0));
  for (size_t Frames = 1; Frames < 10000; ++Frames) {
    FUZZ_CHECK(Frame.SampleRate != 0 && Frame.Size != 0 && Frame.Offset + 4 <= In.size());
    const size_t Next = Frame.Offset + Frame.Size;
    if (!sx::FindMp3Frame(In, Next, Frame))
      break;
    FUZZ_CHECK(Frame.Offset >= Next);
  }
  return 0;
}
