// Which sample and entry each file of a batch goes to, and the order of the files.

#include "base/Exceptions.h"
#include "base/Paths.h"
#include "tests/fixtures/Bigf.h"
#include "tests/fixtures/Definition.h"
#include "workflows/BatchPlan.h"
#include "workflows/FileOrder.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace fixtures;

namespace {

// A.big (a1, a2, "new.asf", a3), B.big (b1); streams [A a1, B b1], [A a2, A a2, A a3, A a3, A a3], [].
class PlanTest : public ::testing::Test {
protected:
  PlanTest() {
    std::vector<BigfEntry> A = {{"a1.asf", Pattern(100, 1)},
                                {"a2.asf", Pattern(200, 2)},
                                {"new.asf", Pattern(10, 3)},
                                {"a3.asf", Pattern(30, 5)}};
    std::vector<BigfEntry> B = {{"b1.asf", Pattern(80, 4)}};
    WriteFile(Dir.File("A.big"), MakeBigf(A));
    WriteFile(Dir.File("B.big"), MakeBigf(B));
    Definition Def;
    Def.Archives = {"A.big", "B.big"};
    Def.Streams = {{{BigfDataOffset(A, 0), 0, -1}, {BigfDataOffset(B, 0), 1, -1}},
                   {{BigfDataOffset(A, 1), 0, -1},
                    {BigfDataOffset(A, 1), 0, -1},
                    {BigfDataOffset(A, 3), 0, -1},
                    {BigfDataOffset(A, 3), 0, -1},
                    {BigfDataOffset(A, 3), 0, -1}},
                   {}};
    WriteFile(Dir.File("streams.dat"), MakeDefinition(Def));
    Pack.LoadFromFile(Dir.File("streams.dat"));
  }
  TempDir Dir;
  TStreamPack Pack{Dir.Path()};
};

struct TExpected {
  TExpected(int32_t Sample, bool NewSample, bool AsNewFile, int32_t Archive, std::string Entry,
            std::optional<TSampleRef> SharedWith = std::nullopt)
      : Sample(Sample), NewSample(NewSample), AsNewFile(AsNewFile), Archive(Archive), Entry(std::move(Entry)),
        SharedWith(SharedWith) {}
  int32_t Sample;
  bool NewSample, AsNewFile;
  int32_t Archive;
  std::string Entry;
  std::optional<TSampleRef> SharedWith; // none: the plan names no sharer
};

} // namespace

TEST_F(PlanTest, FilesReplaceFromTheStartSampleAndOverflowIntoNewEntries) {
  struct TCase {
    const char* Name;
    TBatchTarget Target;
    std::vector<std::string> Files;
    std::vector<TExpected> Expected;
  };
  const TCase Cases[] = {
      {"replace inside the stream",
       {0, 0, ""},
       {"x.wav", "y.mp3"},
       {{0, false, false, 0, ""}, {1, false, false, 1, ""}}},
      {"overflow into the last sample's archive",
       {0, 1, ""},
       {"x.wav", "new.wav", "New.mp3"},
       {{1, false, false, 1, ""}, {2, true, true, 1, "new.asf"}, {3, true, true, 1, "New (2).asf"}}},
      {"start at the end", {0, 2, ""}, {"song.aif"}, {{2, true, true, 1, "song.asf"}}},
      {"the second replace of one entry gets its own",
       {1, 0, ""},
       {"x.wav", "new.wav"},
       {{0, false, false, 0, ""}, {1, false, true, 0, "new (2).asf"}}},
      {"a song that a sample outside plays gets a new entry",
       {1, 2, ""},
       {"x.wav"},
       {{2, false, true, 0, "x.asf", TSampleRef{1, 3}}}},
      {"the first sharer outside is named",
       {1, 3, ""},
       {"x.wav"},
       {{3, false, true, 0, "x.asf", TSampleRef{1, 2}}}},
      {"a sharer before the start is outside; those of the batch, earlier or later, are not",
       {1, 1, ""},
       {"x.wav", "y.wav", "z.wav", "w.wav", "v.wav"},
       {{1, false, true, 0, "x.asf", TSampleRef{1, 0}},
        {2, false, false, 0, ""},
        {3, false, true, 0, "z.asf"},
        {4, false, true, 0, "w.asf"},
        {5, true, true, 0, "v.asf"}}},
      {"add to an empty stream",
       {2, 0, "b.BIG"},
       {"1.wav", "2.wav"},
       {{0, true, true, 1, "1.asf"}, {1, true, true, 1, "2.asf"}}},
      {"add after existing samples", {0, 0, "A.big"}, {"new.wav"}, {{2, true, true, 0, "new (2).asf"}}},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    std::vector<TPlannedSong> Plan = PlanBatch(Pack, Case.Target, Case.Files);
    ASSERT_EQ(Plan.size(), Case.Expected.size());
    for (size_t I = 0; I < Plan.size(); ++I) {
      EXPECT_EQ(Plan[I].Source, Case.Files[I]);
      EXPECT_EQ(Plan[I].Stream, Case.Target.Stream);
      EXPECT_EQ(Plan[I].Sample, Case.Expected[I].Sample) << I;
      EXPECT_EQ(Plan[I].NewSample, Case.Expected[I].NewSample) << I;
      EXPECT_EQ(Plan[I].AsNewFile, Case.Expected[I].AsNewFile) << I;
      EXPECT_EQ(Plan[I].ArchiveIndex, Case.Expected[I].Archive) << I;
      EXPECT_EQ(Plan[I].EntryName, Case.Expected[I].Entry) << I;
      EXPECT_EQ(Plan[I].SharedWith, Case.Expected[I].SharedWith) << I;
    }
  }
}

TEST_F(PlanTest, ImpossibleTargetsAreRefusedBeforeAnything) {
  struct TCase {
    TBatchTarget Target;
    std::string Message;
  };
  const TCase Cases[] = {
      {{3, 0, ""}, "List index out of bounds (3)"},
      {{0, 3, ""}, "List index out of bounds (3)"},
      {{2, 0, ""}, "Stream 2 has no samples: name the archive that its new songs go to"},
      {{0, 0, "C.big"}, "No archive \"C.big\" in the definition (A.big, B.big)"},
  };
  for (const TCase& Case : Cases) {
    try {
      PlanBatch(Pack, Case.Target, {"x.wav", "y.wav", "z.wav"});
      ADD_FAILURE() << Case.Message;
    } catch (const Exception& Error) {
      EXPECT_EQ(Error.Message(), Case.Message);
    }
  }
  Pack.Streams(0)->Samples(1)->FileOffset = 7; // inside B.big's header: no entry
  try {
    PlanBatch(Pack, {0, 0, ""}, {"x.wav", "y.wav"});
    ADD_FAILURE();
  } catch (const Exception& Error) {
    EXPECT_EQ(Error.Message(), "Stream 0 sample 1 is bound to no file of its archive");
  }
  EXPECT_EQ(PlanBatch(Pack, {0, 0, ""}, {"x.wav"}).size(), 1u)
      << "a sample outside the batch is not looked at";
}

TEST(FileOrderTest, NamesSortNaturallyAndFoldersGiveTheirAudioFiles) {
  const std::vector<std::string> Sorted = {"",
                                           "1 intro.mp3",
                                           "01 intro.mp3",
                                           "2.wav",
                                           "02.wav",
                                           "10.wav",
                                           "a2b",
                                           "A10b",
                                           "a10c",
                                           "Track 9.mp3",
                                           "track 10.mp3",
                                           "track10.mp3",
                                           "x99999999999999999999.wav",
                                           "x100000000000000000000.wav"};
  for (size_t I = 0; I < Sorted.size(); ++I)
    for (size_t J = 0; J < Sorted.size(); ++J)
      EXPECT_EQ(NaturalLess(Sorted[I], Sorted[J]), I < J)
          << "\"" << Sorted[I] << "\" < \"" << Sorted[J] << "\"";

  TempDir Dir;
  std::string Folder = Dir.File("album");
  std::filesystem::create_directories(JoinPath(Folder, "sub.wav"));
  for (const char* Name : {"10 b.MP3", "2 a.wav", "cover.jpg", "1 c.AIFF", "notes.txt", "3 d.asf"})
    WriteFile(JoinPath(Folder, Name), TextBytes("x"));
  std::vector<std::string> Files = ExpandInputs({Folder, Dir.File("0 loose.wav"), Dir.File("missing.mp3")});
  std::vector<std::string> Names;
  for (const std::string& File : Files)
    Names.push_back(ExtractFileName(File));
  EXPECT_EQ(Names, (std::vector<std::string>{"0 loose.wav", "1 c.AIFF", "2 a.wav", "3 d.asf", "10 b.MP3",
                                             "missing.mp3"}));
  EXPECT_EQ(Files[1], JoinPath(Folder, "1 c.AIFF"));
}
