// A definition's write journal, recovered as every open recovers the one it finds beside the definition:
// a game folder shared as a zip may carry any journal. The game folder holds the definition, the archive it
// names and a file of the user's; a sentinel folder lies beside it. The input is recovered as it is, then
// with every record's checksum made right, so that mutations reach the checks behind it. Whatever the
// journal holds, recovery does not raise with the files as they are, changes nothing in the sentinel folder
// nor the user's file, and leaves nothing that a second recovery does not end at once.

#include "base/Exceptions.h"
#include "base/Paths.h"
#include "base/Records.h"
#include "base/WriteJournal.h"
#include "definitions/DefinitionSession.h"
#include "fuzz/Fuzz.h"
#include "platform/FileSystem.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

namespace {

namespace fs = std::filesystem;

fuzz::Bytes Definition() {
  // One archive, no description, no stream.
  fuzz::Bytes Bytes = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  std::string Name = "ingame.big";
  Name.resize(32, '\0');
  Bytes.insert(Bytes.end(), Name.begin(), Name.end());
  return Bytes;
}

fuzz::Bytes Filled(size_t Size, uint8_t From) {
  fuzz::Bytes Bytes(Size);
  for (size_t I = 0; I < Size; ++I)
    Bytes[I] = static_cast<uint8_t>(From + I);
  return Bytes;
}

// Every file below Folder, by its path, with its bytes.
std::map<std::string, fuzz::Bytes> Tree(const std::string& Folder) {
  std::map<std::string, fuzz::Bytes> Files;
  for (const fs::directory_entry& Entry : fs::recursive_directory_iterator(Folder)) {
    if (!Entry.is_regular_file()) {
      Files[Entry.path().string()];
      continue;
    }
    std::ifstream In(Entry.path(), std::ios::binary);
    Files[Entry.path().string()] = fuzz::Bytes(std::istreambuf_iterator<char>(In), {});
  }
  return Files;
}

void Write(const std::string& Path, const fuzz::Bytes& Bytes) {
  fuzz::WriteFile(Path, Bytes.data(), Bytes.size());
}

uint32_t U32At(const fuzz::Bytes& B, size_t At) {
  return uint32_t(B[At]) | uint32_t(B[At + 1]) << 8 | uint32_t(B[At + 2]) << 16 | uint32_t(B[At + 3]) << 24;
}

// The journal's records as they frame themselves (type, length, payload, checksum), each checksum made
// right, up to the first whose length runs past the end.
fuzz::Bytes Sealed(fuzz::Bytes B) {
  for (size_t At = 0; B.size() - At >= 12;) {
    uint32_t Length = U32At(B, At + 4);
    if (B.size() - At - 12 < Length)
      break;
    uint32_t Crc = Crc32(B.data() + At, 8 + Length);
    for (int I = 0; I < 4; ++I)
      B[At + 8 + Length + I] = static_cast<uint8_t>(Crc >> (8 * I));
    At += 12 + Length;
  }
  return B;
}

void Recover(const fuzz::Bytes& Journal);

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const fuzz::Bytes Journal(Data, Data + Size);
  Recover(Journal);
  Recover(Sealed(Journal));
  return 0;
}

namespace {

void Recover(const fuzz::Bytes& JournalBytes) {
  const std::string& Root = fuzz::ScratchPath("journal");
  const std::string Game = JoinPath(Root, "game"), Sentinel = JoinPath(Root, "sentinel");
  fs::remove_all(Root);
  fs::create_directories(Game);
  fs::create_directories(JoinPath(Sentinel, "below"));
  const std::string Definition = JoinPath(Game, "streams.dat");
  Write(Definition, ::Definition());
  Write(JoinPath(Game, "ingame.big"), Filled(300, 1));
  Write(JoinPath(Game, "ingame.big.~undo"), Filled(200, 2));
  Write(JoinPath(Game, "notes.txt"), Filled(50, 3));
  Write(JoinPath(Sentinel, "victim.txt"), Filled(40, 4));
  Write(JoinPath(JoinPath(Sentinel, "below"), "victim.big"), Filled(40, 5));
  const auto Outside = Tree(Sentinel);
  const fuzz::Bytes Notes = Filled(50, 3);
  const std::string Journal = TWriteJournal::PathFor(Definition);
  Write(Journal, JournalBytes);

  try {
    TWriteJournal::Recover(Journal, DefinitionScope(Definition));
  } catch (const Exception&) {
    fuzz::Finding("recovery raised with the files as they are: the journal would block every open");
  }
  FUZZ_CHECK(Tree(Sentinel) == Outside);
  std::ifstream In(JoinPath(Game, "notes.txt"), std::ios::binary);
  FUZZ_CHECK(fuzz::Bytes(std::istreambuf_iterator<char>(In), {}) == Notes);
  // What is left is at most garbage that could not be deleted, which here is none.
  FUZZ_CHECK(!platform::IsFile(Journal));
  FUZZ_CHECK(TWriteJournal::Recover(Journal, DefinitionScope(Definition)).Outcome ==
             TWriteJournal::TOutcome::Nothing);
}

} // namespace
