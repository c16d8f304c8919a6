// Import into archives, rebuild and save, end to end on real files: every sample must stay bound to the
// same entry and bytes, in memory and after reopening the saved definition.

#include "base/Exceptions.h"
#include "tests/definitions/PackFiles.h"

#include <gtest/gtest.h>

namespace deftest {
namespace {

TStreamData& SampleOf(TStreamPack& Pack, int32_t Stream, int32_t Index) {
  return *Pack.Streams(Stream)->Samples(Index);
}

std::vector<uint32_t> Offsets(const TStreamPack& Pack) {
  std::vector<uint32_t> Result;
  ForEachSample(Pack, [&](const TStreamData& Sample) { Result.push_back(Sample.FileOffset); });
  return Result;
}

// Positions, in stream order, of the samples bound to a2 in a PackFolder.
const size_t kA2Samples[] = {1, 3, 4};

TEST(Import, ReplaceRepointsEverySampleBoundToTheFile) {
  PackFolder Folder;
  auto Pack = Folder.Open();
  SampleOf(*Pack, 0, 3).FileOffset += 10; // inside a2's data, not at its start
  std::vector<Binding> Expected = BindingsOnDisk(*Pack);
  ASSERT_EQ(Names(Expected), PackFolder::SampleNames());
  Bytes NewData = fixtures::Pattern(700, 42);
  fixtures::WriteFile(Folder.Dir.File("new.asf"), NewData);
  Bytes Beta = fixtures::ReadFile(Folder.ArchivePath(1));

  SampleOf(*Pack, 0, 1).ImportFile(Folder.Dir.File("new.asf"), false, "");

  for (size_t I : kA2Samples)
    Expected[I].Data = NewData;
  EXPECT_EQ(BindingsOnDisk(*Pack), Expected);
  uint32_t NewOffset = SampleOf(*Pack, 0, 1).StreamFile()->Offset;
  for (size_t I : kA2Samples)
    EXPECT_EQ(Offsets(*Pack)[I], NewOffset) << I;
  EXPECT_TRUE(MemoryMatchesDisk(*Pack->Archives(0)));
  EXPECT_EQ(fixtures::ReadFile(Folder.ArchivePath(1)), Beta);
}

TEST(Import, ReplaceOfASampleBoundToNoFileChangesNothing) {
  PackFolder Folder;
  auto Pack = Folder.Open();
  SampleOf(*Pack, 0, 0).FileOffset = 1; // inside the header
  fixtures::WriteFile(Folder.Dir.File("new.asf"), fixtures::Pattern(70, 4));
  Bytes Alpha = fixtures::ReadFile(Folder.ArchivePath(0));
  std::vector<uint32_t> Before = Offsets(*Pack);
  try {
    SampleOf(*Pack, 0, 0).ImportFile(Folder.Dir.File("new.asf"), false, "");
    ADD_FAILURE() << "no error";
  } catch (const Exception& Error) {
    EXPECT_STREQ(Error.what(), "The sample is bound to no file of its archive");
  }
  EXPECT_EQ(fixtures::ReadFile(Folder.ArchivePath(0)), Alpha);
  EXPECT_EQ(Offsets(*Pack), Before);
}

// The long entry name grows beta's directory past 64 bytes, so every file of beta moves.
TEST(Import, AddMovesTheOtherSamplesOfThatArchiveOnly) {
  PackFolder Folder;
  auto Pack = Folder.Open();
  std::vector<Binding> Expected = BindingsOnDisk(*Pack);
  std::vector<uint32_t> Before = Offsets(*Pack);
  Bytes NewData = fixtures::Pattern(900, 5);
  fixtures::WriteFile(Folder.Dir.File("new.asf"), NewData);
  Bytes Alpha = fixtures::ReadFile(Folder.ArchivePath(0));
  const std::string NewName = "b3 remix with a long name";
  SampleOf(*Pack, 1, 2).FileOffset += 7; // inside b1's data
  uint32_t B1Offset = SampleOf(*Pack, 0, 2).FileOffset;

  TStreamData& Importer = SampleOf(*Pack, 1, 1);
  Importer.ImportFile(Folder.Dir.File("new.asf"), true, NewName);

  Expected[5] = {NewName, NewData};
  EXPECT_EQ(BindingsOnDisk(*Pack), Expected);
  EXPECT_EQ(Importer.StreamFile()->Name, NewName);
  EXPECT_EQ(Importer.ArchiveIndex, 1);
  std::vector<uint32_t> After = Offsets(*Pack);
  for (size_t I : {2, 6})
    EXPECT_NE(After[I], Before[I]) << "beta sample " << I << " did not move";
  for (size_t I : {0, 1, 3, 4})
    EXPECT_EQ(After[I], Before[I]) << "alpha sample " << I << " moved";
  EXPECT_NE(SampleOf(*Pack, 0, 2).FileOffset, B1Offset);
  EXPECT_EQ(SampleOf(*Pack, 1, 2).FileOffset, SampleOf(*Pack, 0, 2).FileOffset + 7);
  EXPECT_TRUE(MemoryMatchesDisk(*Pack->Archives(1)));
  EXPECT_TRUE(IsCompact(fixtures::ReadFile(Folder.ArchivePath(1))));
  EXPECT_EQ(fixtures::ReadFile(Folder.ArchivePath(0)), Alpha);
  EXPECT_TRUE(Folder.Dir.ScratchFiles().empty());
}

TEST(Import, ReplaceAddRebuildSaveAndReopenKeepEveryBinding) {
  PackFolder Folder;
  auto Pack = Folder.Open();
  // The last sample moves inside a3's data, which the rebuild moves up into old a2's place.
  TStreamData& InsideA3 = SampleOf(*Pack, 1, 2);
  InsideA3.ArchiveIndex = 0;
  InsideA3.FileOffset = Pack->Archives(0)->Files(3)->Offset + 5;
  std::vector<Binding> Expected = BindingsOnDisk(*Pack);
  ASSERT_EQ(Expected[6].Name, "a3");
  Bytes NewA2 = fixtures::Pattern(3000, 6);
  Bytes NewB = fixtures::Pattern(100, 7);
  fixtures::WriteFile(Folder.Dir.File("a2.asf"), NewA2);
  fixtures::WriteFile(Folder.Dir.File("b.asf"), NewB);
  SampleOf(*Pack, 1, 0).ImportFile(Folder.Dir.File("a2.asf"), false, "");
  SampleOf(*Pack, 1, 1).ImportFile(Folder.Dir.File("b.asf"), true, "b4");
  for (size_t I : kA2Samples)
    Expected[I].Data = NewA2;
  Expected[5] = {"b4", NewB};
  ASSERT_EQ(BindingsOnDisk(*Pack), Expected);
  size_t AlphaBefore = fixtures::ReadFile(Folder.ArchivePath(0)).size();

  Pack->RebuildArchives();
  EXPECT_EQ(InsideA3.FileOffset, InsideA3.StreamFile()->Offset + 5);
  for (int I = 0; I < 2; ++I) {
    Bytes Archive = fixtures::ReadFile(Folder.ArchivePath(I));
    EXPECT_TRUE(IsCompact(Archive)) << I;
    EXPECT_TRUE(MemoryMatchesDisk(*Pack->Archives(I)));
  }
  EXPECT_LT(fixtures::ReadFile(Folder.ArchivePath(0)).size(), AlphaBefore) << "old a2 data kept";
  EXPECT_EQ(BindingsOnDisk(*Pack), Expected);

  Pack->AddDescription("New singer", "New album", "New song");
  SampleOf(*Pack, 0, 2).DescriptionIndex = 2;
  Pack->SaveToFile(Folder.DefinitionPath());
  EXPECT_TRUE(Folder.Dir.ScratchFiles().empty());

  auto Reopened = Folder.Open();
  EXPECT_EQ(BindingsOnDisk(*Reopened), Expected);
  EXPECT_EQ(Offsets(*Reopened), Offsets(*Pack));
  ASSERT_EQ(Reopened->DescriptionCount(), 3);
  EXPECT_EQ(FieldText(Reopened->Descriptions(2)->Album), "New album");
  EXPECT_EQ(SampleOf(*Reopened, 0, 2).DescriptionIndex, 2);
  EXPECT_EQ(Reopened->StreamCount(), 3);
  EXPECT_EQ(Reopened->Streams(2)->SampleCount(), 0);
}

} // namespace
} // namespace deftest
