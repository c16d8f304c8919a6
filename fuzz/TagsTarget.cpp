// Any input read for its tags (ID3v2, ID3v1, Wave and AIFF chunks), and read as an ID3v2 tag on its own.
// Every field is valid UTF-8 without blanks at either end, and its JSON string holds no raw control
// character.
#include "converter/Json.h"
#include "converter/formats/TagText.h"
#include "converter/formats/Tags.h"
#include "fuzz/Fuzz.h"

namespace {

void CheckField(const std::string& Field) {
  FUZZ_CHECK(sx::ValidUtf8(Field) == Field);
  FUZZ_CHECK(Trimmed(Field) == Field);
  for (char C : sx::JsonString(Field))
    FUZZ_CHECK(static_cast<unsigned char>(C) >= 0x20);
}

void CheckTags(const sx::TTags& Tags) {
  CheckField(Tags.Title);
  CheckField(Tags.Artist);
  CheckField(Tags.Album);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const sx::Bytes In(Data, Data + Size);
  CheckTags(sx::ReadTags(In));
  sx::TTags Alone;
  sx::ReadId3v2(Data, Size, Alone);
  CheckTags(Alone);
  return 0;
}
