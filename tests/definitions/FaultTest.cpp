// Every OS call of a rebuild, a save and an import made to fail in turn, once and from then on. After each
// run the archives and the definition on disk are each wholly old or wholly new, the samples in memory
// point at the same entries and bytes in the files that are on disk, and no scratch file is left behind.

#include "base/Exceptions.h"
#include "platform/FileSystem.h"
#include "tests/definitions/PackFiles.h"
#include "tests/fixtures/FaultLoop.h"

#include <gtest/gtest.h>
#include <map>

namespace deftest {
namespace {

using fixtures::FaultRun;

void ExpectNoScratchLeft(const fixtures::TempDir& Dir, const FaultRun& Run) {
  std::vector<std::string> Left = Dir.ScratchFiles();
  for (const std::string& Path : Dir.Leftovers())
    Left.push_back(Path);
  if (fixtures::DeletesRefused(Run))
    EXPECT_LE(Left.size(), static_cast<size_t>(Run.Refused)) << "more files left than deletes refused";
  else
    EXPECT_TRUE(Left.empty()) << Left.size() << " scratch files left, first " << Left.front();
}

const Bytes kNewA = fixtures::Pattern(1500, 21);
const Bytes kNewB = fixtures::Pattern(333, 22);

// A PackFolder with the new data a.asf and b.asf beside it. Replaced, both archives hold unreferenced old
// data, so that a rebuild changes both files.
class World {
public:
  void Setup(bool Replaced = true) {
    Pack.reset();
    Folder.reset(); // a folder made while another lives would lie inside its scratch folder
    Folder = std::make_unique<PackFolder>();
    Pack = Folder->Open();
    fixtures::WriteFile(Folder->Dir.File("a.asf"), kNewA);
    fixtures::WriteFile(Folder->Dir.File("b.asf"), kNewB);
    if (Replaced) {
      Pack->Streams(0)->Samples(1)->ImportFile(Folder->Dir.File("a.asf"), false, "");
      Pack->Streams(1)->Samples(1)->ImportFile(Folder->Dir.File("b.asf"), false, "");
    }
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

// The second archive cannot be put in place: the first, already swapped, is swapped back, both keep their
// old files and offsets, and the error names the archive that failed.
TEST(Faults, RebuildStoppedAtTheSecondArchivePutsTheFirstBack) {
  World W;
  W.Setup();
  // The rebuild sorts the entries: they are compared by name.
  auto EntryOffsets = [&] {
    std::map<std::string, uint32_t> Offsets;
    for (int I = 0; I < 2; ++I)
      for (int32_t J = 0; J < W.Pack->Archives(I)->FileCount(); ++J)
        Offsets[std::to_string(I) + W.Pack->Archives(I)->Files(J)->Name] =
            W.Pack->Archives(I)->Files(J)->Offset;
    return Offsets;
  };
  std::map<std::string, uint32_t> Offsets = EntryOffsets();
  platform::ClearFaults();
  platform::InjectFault(platform::FaultKind::Move, 3, platform::AccessDeniedError());
  try {
    W.Pack->RebuildArchives();
    ADD_FAILURE() << "no error";
  } catch (const EFCreateError& Error) {
    EXPECT_EQ(Error.Message(),
              EFCreateError(W.Folder->ArchivePath(1), platform::AccessDeniedError()).Message());
  }
  platform::ClearFaults();
  for (int I = 0; I < 2; ++I) {
    EXPECT_EQ(fixtures::ReadFile(W.Folder->ArchivePath(I)), W.Archives[I]);
    EXPECT_TRUE(MemoryMatchesDisk(*W.Pack->Archives(I)));
  }
  EXPECT_EQ(EntryOffsets(), Offsets);
  EXPECT_EQ(BindingsOnDisk(*W.Pack), W.Bindings);
  EXPECT_TRUE(W.Folder->Dir.ScratchFiles().empty());
  EXPECT_TRUE(W.Folder->Dir.Leftovers().empty());
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
  int Runs = fixtures::RunFaultLoop(
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
  EXPECT_GT(Runs, 50);
}

// A replace appends to the archive and patches one record: on any failure the directory on disk and in
// memory still agree, and the samples bound to the file all see the old data or all the new.
TEST(Faults, ReplaceLeavesEveryBoundSampleOnTheOldOrTheNewData) {
  World W;
  auto Check = [&](const FaultRun& Run) {
    std::vector<Binding> Expected = W.Bindings;
    bool Replaced = BindingsOnDisk(*W.Pack)[1].Data == kNewA;
    for (size_t I : {1, 3, 4})
      Expected[I].Data = Replaced ? kNewA : Expected[I].Data;
    EXPECT_EQ(BindingsOnDisk(*W.Pack), Expected);
    EXPECT_EQ(Replaced, !Run.Failed);
    EXPECT_TRUE(MemoryMatchesDisk(*W.Pack->Archives(0)));
    EXPECT_EQ(fixtures::ReadFile(W.Folder->ArchivePath(1)), W.Archives[1]);
    ExpectNoScratchLeft(W.Folder->Dir, Run);
  };
  int Runs = fixtures::RunFaultLoop(
      [&] { W.Setup(false); },
      [&] { W.Pack->Streams(0)->Samples(1)->ImportFile(W.Folder->Dir.File("a.asf"), false, ""); }, Check);
  EXPECT_GT(Runs, 14);
}

// An add rebuilds the archive in place: on any failure the archive holds its old entries with their old
// data (appended bytes aside), every sample keeps its entry, and no offsets are left pending.
TEST(Faults, AddLeavesTheArchiveOldOrNewAndTheSamplesOnIt) {
  const std::string NewName = "b4 with a name long enough to move b1";
  Bytes Added;
  {
    World Reference;
    Reference.Setup(false);
    Reference.Pack->Streams(1)->Samples(1)->ImportFile(Reference.Folder->Dir.File("b.asf"), true, NewName);
    Added = fixtures::ReadFile(Reference.Folder->ArchivePath(1));
  }
  World W;
  auto Check = [&](const FaultRun& Run) {
    std::vector<Binding> Old = Contents(W.Archives[1]);
    Bytes Now = fixtures::ReadFile(W.Folder->ArchivePath(1));
    if (Run.Failed) {
      EXPECT_EQ(Contents(Now), Old);
    } else {
      EXPECT_EQ(Now, Added);
    }
    std::vector<Binding> Expected = W.Bindings;
    if (!Run.Failed)
      Expected[5] = {NewName, kNewB};
    EXPECT_EQ(BindingsOnDisk(*W.Pack), Expected);
    const TEAStream& Beta = *W.Pack->Archives(1);
    std::vector<DiskEntry> OnDisk = ReadDirectory(Now);
    for (int32_t I = 0; I < Beta.FileCount(); ++I) {
      const TEAStreamFile& File = *Beta.Files(I);
      EXPECT_EQ(File.NewOffset, 0u) << File.Name;
      bool Listed = std::any_of(OnDisk.begin(), OnDisk.end(), [&](const DiskEntry& Entry) {
        return Entry.Name == File.Name && Entry.Offset == File.Offset && Entry.Size == File.Size;
      });
      // A failed add may keep its entry in memory, its data appended to the old archive file.
      EXPECT_TRUE(Listed || (Run.Failed && File.Name == NewName)) << File.Name;
    }
    EXPECT_EQ(fixtures::ReadFile(W.Folder->ArchivePath(0)), W.Archives[0]);
    ExpectNoScratchLeft(W.Folder->Dir, Run);
  };
  int Runs = fixtures::RunFaultLoop(
      [&] { W.Setup(false); },
      [&] { W.Pack->Streams(1)->Samples(1)->ImportFile(W.Folder->Dir.File("b.asf"), true, NewName); }, Check);
  EXPECT_GT(Runs, 50);
}

} // namespace
} // namespace deftest
