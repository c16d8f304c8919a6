// An archive file: its directory is loaded, the archive rebuilt into memory and the rebuilt copy loaded
// again. The copy holds the same entries with the same names, sizes and data, every entry at its pending
// offset, and it is no larger than the directory, the input and the alignment gaps.

#include "archive/uEAStream.h"
#include "base/Exceptions.h"
#include "fuzz/Fuzz.h"

#include <algorithm>

namespace {

bool SameData(const uint8_t* Input, const TEAStreamFile& Entry, const fuzz::Bytes& Rebuilt) {
  return uint64_t(Entry.NewOffset) + Entry.Size <= Rebuilt.size() &&
         std::equal(Input + Entry.Offset, Input + Entry.Offset + Entry.Size,
                    Rebuilt.begin() + Entry.NewOffset);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string& Input = fuzz::ScratchPath("~fzbigf");
  const std::string& Copy = fuzz::ScratchPath("~fzcopy");
  fuzz::WriteFile(Input, Data, Size);
  TEAStream Archive;
  TMemoryStream Rebuilt;
  try {
    Archive.LoadFromFile(Input);
    Archive.SaveToStream(Rebuilt);
  } catch (const Exception&) {
    return 0;
  }
  uint64_t Directory = 16;
  for (int32_t I = 0; I < Archive.FileCount(); ++I) {
    const TEAStreamFile& Entry = *Archive.Files(I);
    Directory += 9 + Entry.Name.size();
    FUZZ_CHECK(SameData(Data, Entry, Rebuilt.Bytes()));
  }
  FUZZ_CHECK(Rebuilt.Bytes().size() <= Directory + Size + 64 * uint64_t(Archive.FileCount()));

  fuzz::WriteFile(Copy, Rebuilt.Bytes().data(), Rebuilt.Bytes().size());
  TEAStream Reread;
  Reread.LoadFromFile(Copy);
  FUZZ_CHECK(Reread.FileCount() == Archive.FileCount());
  FUZZ_CHECK(Reread.HeaderSize == Directory);
  for (int32_t I = 0; I < Reread.FileCount(); ++I) {
    const TEAStreamFile& Before = *Archive.Files(I);
    const TEAStreamFile& After = *Reread.Files(I);
    FUZZ_CHECK(After.Name == Before.Name && After.Size == Before.Size && After.Offset == Before.NewOffset);
    FUZZ_CHECK(After.DirectoryPos == Before.NewDirectoryPos);
  }
  return 0;
}
