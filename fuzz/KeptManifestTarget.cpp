// The manifest of kept original music, read as the editor reads one found in a game's folder. Whatever
// reads names the definition first and only there, names that stay in their folder (the definition's
// and the preload archives' without any folder, a preload archive by one of the game's names), no name
// twice in one kept folder, and no negative size; and it writes back to bytes that read as the same files.

#include "base/Paths.h"
#include "definitions/Preload.h"
#include "fuzz/Fuzz.h"
#include "workflows/KeptOriginals.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace {

std::string Folded(const std::string& Name) {
  std::string Result;
  for (char C : Name)
    Result += C == '\\' ? '/' : static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  return Result;
}

bool NameFits(const TKeptFile& File) {
  if (ExtractFileName(File.Name).empty() || !IsPathInsideFolder(File.Name))
    return false;
  if (File.Role == TKeptFile::Archive)
    return true;
  if (ExtractFileName(File.Name) != File.Name)
    return false;
  return File.Role == TKeptFile::Definition ||
         std::any_of(std::begin(PreloadArchiveNames), std::end(PreloadArchiveNames),
                     [&](const char* Known) { return File.Name == Known; });
}

bool Same(const std::vector<TKeptFile>& A, const std::vector<TKeptFile>& B) {
  return std::equal(A.begin(), A.end(), B.begin(), B.end(), [](const TKeptFile& X, const TKeptFile& Y) {
    return X.Role == Y.Role && X.Name == Y.Name && X.Size == Y.Size && X.Crc == Y.Crc;
  });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::vector<TKeptFile> Files = ParseKeptManifest(std::vector<uint8_t>(Data, Data + Size));
  if (Files.empty())
    return 0;
  FUZZ_CHECK(Files[0].Role == TKeptFile::Definition);
  std::set<std::string> Names;
  for (size_t I = 0; I < Files.size(); ++I) {
    const TKeptFile& File = Files[I];
    FUZZ_CHECK(File.Role <= TKeptFile::Preload);
    FUZZ_CHECK((I == 0) == (File.Role == TKeptFile::Definition));
    FUZZ_CHECK(File.Size >= 0);
    FUZZ_CHECK(NameFits(File));
    FUZZ_CHECK(Names.insert((File.Role == TKeptFile::Preload ? "p/" : "a/") + Folded(File.Name)).second);
  }
  const std::vector<uint8_t> Written = KeptManifestBytes(Files);
  FUZZ_CHECK(Same(ParseKeptManifest(Written), Files));
  FUZZ_CHECK(Written == std::vector<uint8_t>(Data, Data + Size));
  return 0;
}
