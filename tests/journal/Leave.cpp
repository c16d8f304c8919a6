// Leaves a game folder as a process that died in the middle of two imports leaves it: makes a small game
// in FOLDER (streams.dat naming A.big and B.big), copies its files into FOLDER.expected, then imports a
// song in place of the first sample's and another as a new entry of B.big, through the definition's
// journal as the window and the command-line tool import, and ends without closing the definition.
//
//   orvik_journal_leave FOLDER

#include "base/Paths.h"
#include "definitions/DefinitionSession.h"
#include "definitions/uTypes.h"
#include "tests/fixtures/Bigf.h"
#include "tests/fixtures/Definition.h"
#include "tests/fixtures/TestFiles.h"
#include "workflows/JournaledImport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

using namespace fixtures;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: orvik_journal_leave FOLDER\n");
    return 2;
  }
  const std::string Folder = argv[1];
  std::filesystem::create_directories(Folder);
  const std::vector<BigfEntry> A = {{"a1.asf", Pattern(100, 1)}, {"a2.asf", Pattern(200, 2)}};
  const std::vector<BigfEntry> B = {{"b1.asf", Pattern(80, 3)}};
  WriteFile(JoinPath(Folder, "A.big"), MakeBigf(A));
  WriteFile(JoinPath(Folder, "B.big"), MakeBigf(B));
  WriteFile(JoinPath(Folder, "streams.dat"),
            MakeDefinition({{"A.big", "B.big"},
                            {{"Name0", "Singer0", "Album0"}},
                            {{{BigfDataOffset(A, 0), 0, 0}, {BigfDataOffset(B, 0), 1, -1}}}}));
  std::filesystem::copy(Folder, Folder + ".expected", std::filesystem::copy_options::recursive);

  const std::string Definition = JoinPath(Folder, "streams.dat");
  TStreamPack Pack(IncludeTrailingPathDelimiter(Folder));
  Pack.LoadFromFile(Definition);
  auto Session = new TDefinitionSession(Definition); // never closed: the process dies with it open
  Session->Open();
  const std::string Replace = JoinPath(Folder, "replace.asf"), Add = JoinPath(Folder, "add.asf");
  WriteFile(Replace, Pattern(150, 4));
  WriteFile(Add, Pattern(120, 5));
  ImportThroughJournal(Session->Imports, *Pack.Streams(0)->Samples(0), false, "", Replace, Replace,
                       {true, "Kick Off", "Derby Day", "Live"});
  ImportThroughJournal(Session->Imports, *Pack.Streams(0)->Samples(1), true, "new.asf", Add, Add);
  std::fflush(nullptr);
  std::_Exit(0);
}
