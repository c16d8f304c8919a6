// Every OS call of a rebuild and of a save made to fail in turn, once and from then on. After each run the
// archives and the definition on disk are each wholly old or wholly new, the samples in memory point at
// the same entries and bytes in the files that are on disk, and no scratch file is left behind.

#include "base/Exceptions.h"
#include "tests/definitions/PackFiles.h"
#include "tests/fixtures/FaultLoop.h"

#include <gtest/gtest.h>

namespace deftest {
namespace {

using fixtures::FaultRun;

void ExpectNoScratchLeft(const fixtures::TempDir& Dir, const FaultRun& Run) {
  std::vector<std::string> Left = Dir.ScratchFiles();
  if (fixtures::DeletesRefused(Run))
    EXPECT_LE(Left.size(), static_cast<size_t>(Run.Refused)) << "more files left than deletes refused";
  else
    EXPECT_TRUE(Left.empty()) << Left.size() << " scratch files left, first " << Left.front();
}

// A PackFolder whose archives both hold unreferenced old data after a replace, so that a rebuild changes
// both files.
class World {
public:
  void Setup() {
    Pack.reset();
    Folder.reset(); // a folder made while another lives would lie inside its scratch folder
    Folder = std::make_unique<PackFolder>();
    Pack = Folder->Open();
    fixtures::WriteFile(Folder->Dir.File("a.asf"), fixtures::Pattern(1500, 21));
    fixtures::WriteFile(Folder->Dir.File("b.asf"), fixtures::Pattern(333, 22));
    Pack->Streams(0)->Samples(1)->ImportFile(Folder->Dir.File("a.asf"), false, "");
    Pack->Streams(1)->Samples(1)->ImportFile(Folder->Dir.File("b.asf"), false, "");
    Bindings = BindingsOnDisk(*Pack);
    for (int I = 0; I < 2; ++I)
      Archives[I] = fixtures::ReadFile(Folder->ArchivePath(I));
    Definition = fixtures::ReadFile(Folder->DefinitionPath());
  }
  ~World() { Pack.reset(); }

  std::unique_ptr<PackFolder> Folder;
  std::unique_ptr<TStreamPack> Pack;
  std::vector<Binding> Bindings;
  Bytes Archives[2];
  Bytes Definition;
};

TEST(Faults, RebuildLeavesEachArchiveOldOrNewAndTheSamplesOnIt) {
  Bytes Rebuilt[2];
  {
    World Reference;
    Reference.Setup();
    Reference.Pack->RebuildArchives();
    for (int I = 0; I < 2; ++I) {
      Rebuilt[I] = fixtures::ReadFile(Reference.Folder->ArchivePath(I));
      ASSERT_NE(Rebuilt[I], Reference.Archives[I]) << "a rebuild that changes nothing proves nothing";
    }
  }

  World W;
  auto Check = [&](const FaultRun& Run) {
    for (int I = 0; I < 2; ++I) {
      SCOPED_TRACE(I);
      Bytes Now = fixtures::ReadFile(W.Folder->ArchivePath(I));
      EXPECT_TRUE(Now == W.Archives[I] || Now == Rebuilt[I]);
      if (!Run.Failed) {
        EXPECT_EQ(Now, Rebuilt[I]);
      }
      EXPECT_TRUE(MemoryMatchesDisk(*W.Pack->Archives(I)));
    }
    EXPECT_EQ(BindingsOnDisk(*W.Pack), W.Bindings);
    ExpectNoScratchLeft(W.Folder->Dir, Run);
  };
  int Runs = fixtures::RunFaultLoop([&] { W.Setup(); }, [&] { W.Pack->RebuildArchives(); }, Check);
  EXPECT_GT(Runs, 50);
}

TEST(Faults, SaveLeavesTheDefinitionOldOrNew) {
  auto Edit = [](TStreamPack& Pack) {
    Pack.AddDescription("Singer", "Album", "Song");
    Pack.Streams(1)->Samples(2)->DescriptionIndex = 2;
    Pack.Streams(0)->DeleteSample(0);
  };
  Bytes Saved;
  {
    World Reference;
    Reference.Setup();
    Edit(*Reference.Pack);
    Reference.Pack->SaveToFile(Reference.Folder->DefinitionPath());
    Saved = fixtures::ReadFile(Reference.Folder->DefinitionPath());
    ASSERT_NE(Saved, Reference.Definition);
  }

  World W;
  fixtures::RunFaultLoop(
      [&] {
        W.Setup();
        Edit(*W.Pack);
      },
      [&] { W.Pack->SaveToFile(W.Folder->DefinitionPath()); },
      [&](const FaultRun& Run) {
        Bytes Now = fixtures::ReadFile(W.Folder->DefinitionPath());
        EXPECT_TRUE(Now == W.Definition || Now == Saved);
        if (!Run.Failed) {
          EXPECT_EQ(Now, Saved);
        }
        for (int I = 0; I < 2; ++I)
          EXPECT_EQ(fixtures::ReadFile(W.Folder->ArchivePath(I)), W.Archives[I]);
        ExpectNoScratchLeft(W.Folder->Dir, Run);
      });
}

} // namespace
} // namespace deftest
