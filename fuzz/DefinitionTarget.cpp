// A definition file, read in a folder that holds two archives (a.viv, and sub/b.viv in a subfolder) and a
// third one beside the folder that no definition may reach. Whatever loads is saved, the saved bytes are
// loaded and saved again, and the two saves are equal; every archive opened lies inside the folder.

#include "base/Exceptions.h"
#include "definitions/uTypes.h"
#include "fuzz/Fuzz.h"

#include <filesystem>

namespace {

// An archive with one 4-byte entry "song" at 64.
fuzz::Bytes SmallArchive() {
  fuzz::Bytes Archive = {'B', 'I', 'G', 'F', 68, 0, 0, 0, 0, 0,   0,   1,   0,   0, 0,
                         29,  0,   0,   0,   64, 0, 0, 0, 4, 's', 'o', 'n', 'g', 0};
  Archive.resize(64);
  Archive.insert(Archive.end(), {1, 2, 3, 4});
  return Archive;
}

// The folder of the definition, with its trailing delimiter, made on first use.
const std::string& GameFolder() {
  static const std::string Folder = [] {
    namespace fs = std::filesystem;
    const fs::path Root = fuzz::ScratchPath("~fzdef");
    fs::create_directories(Root / "game" / "sub");
    const fuzz::Bytes Archive = SmallArchive();
    for (const fs::path& Path :
         {Root / "game" / "a.viv", Root / "game" / "sub" / "b.viv", Root / "outside.viv"})
      fuzz::WriteFile(Path.string(), Archive.data(), Archive.size());
    return (Root / "game").string() + static_cast<char>(fs::path::preferred_separator);
  }();
  return Folder;
}

fuzz::Bytes Saved(TStreamPack& Pack) {
  TMemoryStream Stream;
  Pack.SaveToStream(Stream);
  return Stream.Bytes();
}

bool InsideFolder(const std::string& Path) {
  namespace fs = std::filesystem;
  const std::string Folder = fs::canonical(GameFolder()).string();
  const std::string Resolved = fs::weakly_canonical(Path).string();
  return Resolved.compare(0, Folder.size(), Folder) == 0 && Resolved.size() > Folder.size();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TStreamPack Pack(GameFolder());
  try {
    TMemoryStream Input(fuzz::Bytes(Data, Data + Size));
    Pack.LoadFromStream(Input);
  } catch (const Exception&) {
    return 0;
  }
  for (int32_t I = 0; I < Pack.ArchiveCount(); ++I)
    FUZZ_CHECK(InsideFolder(Pack.Archives(I)->FileName));
  const fuzz::Bytes First = Saved(Pack);
  TStreamPack Again(GameFolder());
  TMemoryStream Stream(First);
  Again.LoadFromStream(Stream);
  FUZZ_CHECK(Saved(Again) == First);
  return 0;
}
