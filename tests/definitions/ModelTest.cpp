// The edit operations of the model: descriptions and their renumbering, sample lookup by offset, offset
// carry-over, sample binding and the list errors.

#include "base/Exceptions.h"
#include "platform/Faults.h"
#include "tests/definitions/PackFiles.h"

#include <gtest/gtest.h>

#include <functional>

namespace deftest {
namespace {

using fixtures::TempDir;

std::unique_ptr<TStreamPack> LoadPack(const std::string& BasePath, const DefinitionRecord& Definition) {
  auto Pack = std::make_unique<TStreamPack>(BasePath);
  TMemoryStream Stream(MakeDefinition(Definition));
  Pack->LoadFromStream(Stream);
  return Pack;
}

std::vector<int32_t> DescriptionIndexes(const TStreamPack& Pack) {
  std::vector<int32_t> Result;
  ForEachSample(Pack, [&](const TStreamData& Sample) { Result.push_back(Sample.DescriptionIndex); });
  return Result;
}

std::vector<std::string> DescriptionNames(const TStreamPack& Pack) {
  std::vector<std::string> Result;
  for (int32_t I = 0; I < Pack.DescriptionCount(); ++I)
    Result.push_back(FieldText(Pack.Descriptions(I)->Name));
  return Result;
}

// Four descriptions; samples using -1, 0, 1 in stream 0 and 2, 3 in stream 1.
DefinitionRecord FourDescriptions() {
  return {{},
          {{"d0", "s0", "a0"}, {"d1", "s1", "a1"}, {"d2", "s2", "a2"}, {"d3", "s3", "a3"}},
          {{{64, 0, -1}, {64, 0, 0}, {64, 0, 1}}, {{64, 0, 2}, {64, 0, 3}}}};
}

TEST(Model, DeleteDescriptionRenumbersTheSamples) {
  auto Pack = LoadPack("", FourDescriptions());
  Pack->DeleteDescription(1);
  EXPECT_EQ(DescriptionIndexes(*Pack), (std::vector<int32_t>{-1, 0, -1, 1, 2}));
  EXPECT_EQ(DescriptionNames(*Pack), (std::vector<std::string>{"d0", "d2", "d3"}));
  EXPECT_EQ(FieldText(Pack->Descriptions(1)->Singer), "s2");

  try {
    Pack->DeleteDescription(3);
    ADD_FAILURE() << "no error";
  } catch (const EListError& Error) {
    EXPECT_STREQ(Error.what(), "List index out of bounds (3)");
  }
  EXPECT_EQ(DescriptionIndexes(*Pack), (std::vector<int32_t>{-1, 0, -1, 1, 2}));
  EXPECT_EQ(Pack->DescriptionCount(), 3);
}

TEST(Model, ClearDescriptionsUnbindsEverySample) {
  auto Pack = LoadPack("", FourDescriptions());
  Pack->ClearDescriptions();
  EXPECT_EQ(Pack->DescriptionCount(), 0);
  EXPECT_EQ(DescriptionIndexes(*Pack), (std::vector<int32_t>{-1, -1, -1, -1, -1}));
}

TEST(Model, AddDescriptionCutsEachTextAt63Bytes) {
  auto Pack = LoadPack("", FourDescriptions());
  const std::string Name70(70, 'N');
  TStreamDescription* Added = Pack->AddDescription("The singer", std::string(64, 'A'), Name70);
  ASSERT_EQ(Pack->DescriptionCount(), 5);
  EXPECT_EQ(Pack->Descriptions(4), Added);
  EXPECT_EQ(FieldText(Added->Name), Name70.substr(0, 63));
  EXPECT_EQ(Added->Name[63], '\0');
  EXPECT_EQ(FieldText(Added->Singer), "The singer");
  EXPECT_EQ(FieldText(Added->Album), std::string(63, 'A'));
  for (size_t I = 11; I < 64; ++I)
    EXPECT_EQ(Added->Singer[I], '\0') << I;
  EXPECT_EQ(DescriptionNames(*Pack),
            (std::vector<std::string>{"d0", "d1", "d2", "d3", Name70.substr(0, 63)}));
  EXPECT_EQ(DescriptionIndexes(*Pack), (std::vector<int32_t>{-1, 0, 1, 2, 3}));
}

TEST(Model, SetFieldTextKeepsTheBytesAfterItsZero) {
  TDescriptionField Field;
  Field.fill('x');
  SetFieldText(Field, "ab");
  EXPECT_EQ(FieldText(Field), "ab");
  EXPECT_EQ(std::string(Field.begin() + 3, Field.end()), std::string(61, 'x'));
}

// alpha.viv with "first" at 2048 (100 bytes) and "second" at 4096 (50 bytes), nothing in between.
class PlacedArchive : public testing::Test {
protected:
  void SetUp() override {
    fixtures::WriteFile(Dir.File("alpha.viv"), MakePlacedBigf({{"first", 2048, fixtures::Pattern(100, 1)},
                                                               {"second", 4096, fixtures::Pattern(50, 2)}}));
    fixtures::WriteFile(Dir.File("beta.viv"), fixtures::MakeBigf({{"b", fixtures::Pattern(10, 3)}}));
    Pack = LoadPack(Dir.Path(),
                    {{"alpha.viv", "beta.viv"}, {}, {{{2048, 0, -1}, {2100, 0, -1}, {4096, 0, -1}}}});
  }
  TStreamData& Sample(int32_t Index) { return *Pack->Streams(0)->Samples(Index); }

  TempDir Dir;
  std::unique_ptr<TStreamPack> Pack;
};

TEST_F(PlacedArchive, StreamFileFindsTheFileWhoseDataHoldsTheOffset) {
  const struct {
    uint32_t Offset;
    const char* File; // nullptr: none
  } Cases[] = {{2048, "first"},  {2147, "first"}, {2148, nullptr}, {4095, nullptr},      {4096, "second"},
               {4145, "second"}, {4146, nullptr}, {0, nullptr},    {0xFFFFFFFF, nullptr}};
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Offset);
    Sample(0).FileOffset = C.Offset;
    TEAStreamFile* Found = Sample(0).StreamFile();
    if (C.File == nullptr)
      EXPECT_EQ(Found, nullptr);
    else
      EXPECT_EQ(Found ? Found->Name : "(none)", C.File);
  }
}

TEST_F(PlacedArchive, UpdateSampleOffsetsMatchesTheExactStartOnly) {
  Pack->Archives(0)->Files(0)->NewOffset = 64;
  Pack->Archives(0)->Files(1)->NewOffset = 0;
  Pack->UpdateSampleOffsets();
  EXPECT_EQ(Sample(0).FileOffset, 64u);
  EXPECT_EQ(Sample(1).FileOffset, 2100u);
  EXPECT_EQ(Sample(2).FileOffset, 4096u);

  Sample(2).ArchiveIndex = 2;
  EXPECT_THROW(Pack->UpdateSampleOffsets(), EListError);
}

// The carry of a rebuild keeps a sample inside a file at its distance from the file's start.
TEST_F(PlacedArchive, CarrySampleOffsetsKeepsTheDistanceIntoTheFile) {
  Pack->Archives(0)->Files(0)->NewOffset = 64;
  Pack->Archives(0)->Files(1)->NewOffset = 192;
  Sample(1).ArchiveIndex = 1; // a sample of another archive is not touched
  Pack->Streams(0)->AddSample(Pack->Archives(0)->Files(1))->FileOffset = 4100;
  Pack->Streams(0)->AddSample(Pack->Archives(0)->Files(1))->FileOffset = 3000; // in no file
  Pack->CarrySampleOffsets(0);
  const uint32_t Expected[] = {64, 2100, 192, 196, 3000};
  for (int32_t I = 0; I < 5; ++I)
    EXPECT_EQ(Sample(I).FileOffset, Expected[I]) << I;
}

TEST_F(PlacedArchive, AddSampleBindsOnlyToFilesOfThePack) {
  TEAStream Foreign;
  Foreign.LoadFromFile(Dir.File("beta.viv"));
  TEAStreamFile* OfBeta = Pack->Archives(1)->Files(0);
  const struct {
    const char* Name;
    TEAStreamFile* File;
    uint32_t Offset;
    int32_t Archive;
  } Cases[] = {{"a file of the pack", OfBeta, OfBeta->Offset, 1},
               {"a file of another archive", Foreign.Files(0), 0, 0},
               {"no file", nullptr, 0, 0}};
  TEAMusicStream& Stream = *Pack->Streams(0);
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    int32_t Before = Stream.SampleCount();
    TStreamData* Added = Stream.AddSample(C.File);
    ASSERT_EQ(Stream.SampleCount(), Before + 1);
    EXPECT_EQ(Stream.Samples(Before), Added);
    EXPECT_EQ(Added->MusicStream, &Stream);
    EXPECT_EQ(Added->FileOffset, C.Offset);
    EXPECT_EQ(Added->ArchiveIndex, C.Archive);
    EXPECT_EQ(Added->DescriptionIndex, -1);
  }
}

TEST_F(PlacedArchive, IndexesOutsideTheirListsRaiseTheListError) {
  TEAMusicStream& Stream = *Pack->Streams(0);
  auto WithArchive = [this](int32_t Index) {
    return [this, Index] {
      Sample(0).ArchiveIndex = Index;
      Sample(0).StreamFile();
    };
  };
  auto WithDescription = [this](int32_t Index) {
    return [this, Index] {
      Sample(0).DescriptionIndex = Index;
      Sample(0).Description();
    };
  };
  const struct {
    const char* Name;
    std::function<void()> Call;
    const char* Message;
  } Cases[] = {
      {"Archives", [&] { Pack->Archives(2); }, "List index out of bounds (2)"},
      {"Archives negative", [&] { Pack->Archives(-1); }, "List index out of bounds (-1)"},
      {"Descriptions", [&] { Pack->Descriptions(0); }, "List index out of bounds (0)"},
      {"Streams", [&] { Pack->Streams(1); }, "List index out of bounds (1)"},
      {"Samples", [&] { Stream.Samples(3); }, "List index out of bounds (3)"},
      {"DeleteSample", [&] { Stream.DeleteSample(3); }, "List index out of bounds (3)"},
      {"Archive of a sample", WithArchive(5), "List index out of bounds (5)"},
      {"Description of a sample", WithDescription(0), "List index out of bounds (0)"},
      {"DeleteDescription", [&] { Pack->DeleteDescription(0); }, "List index out of bounds (0)"},
      {"RebuildArchives with a sample of no archive",
       [&] {
         Sample(0).ArchiveIndex = 0;
         Sample(1).ArchiveIndex = 7;
         Pack->RebuildArchives();
       },
       "List index out of bounds (7)"},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Name);
    try {
      C.Call();
      ADD_FAILURE() << "no error";
    } catch (const EListError& Error) {
      EXPECT_STREQ(Error.what(), C.Message);
    }
  }
  EXPECT_EQ(Stream.SampleCount(), 3);
  EXPECT_TRUE(Dir.ScratchFiles().empty());
}

TEST_F(PlacedArchive, DescriptionOfNoneIsNull) {
  Pack->AddDescription("s", "a", "n");
  Sample(0).DescriptionIndex = -1;
  EXPECT_EQ(Sample(0).Description(), nullptr);
  Sample(0).DescriptionIndex = 0;
  EXPECT_EQ(Sample(0).Description(), Pack->Descriptions(0));
}

TEST_F(PlacedArchive, RemoveSampleOfAnotherStreamRemovesNothing) {
  TEAMusicStream& Stream = *Pack->Streams(0);
  TEAMusicStream Other(Pack.get());
  TStreamData* Stranger = Other.AddSample(nullptr);
  try {
    Stream.RemoveSample(Stranger);
    ADD_FAILURE() << "no error";
  } catch (const EListError& Error) {
    EXPECT_STREQ(Error.what(), "List index out of bounds (-1)");
  }
  EXPECT_EQ(Stream.SampleCount(), 3);
  TStreamData* Middle = Stream.Samples(1);
  TStreamData* Last = Stream.Samples(2);
  Stream.RemoveSample(Middle);
  ASSERT_EQ(Stream.SampleCount(), 2);
  EXPECT_EQ(Stream.Samples(1), Last);
}

TEST(Model, RebuildOfAnEmptyPackTouchesNoFile) {
  TempDir Dir;
  auto Pack = LoadPack(Dir.Path(), {});
  platform::ClearFaults();
  Pack->RebuildArchives();
  for (int Kind = 0; Kind < platform::kFaultKindCount; ++Kind)
    EXPECT_EQ(platform::FaultCallCount(static_cast<platform::FaultKind>(Kind)), 0) << Kind;
  EXPECT_TRUE(Dir.ScratchFiles().empty());
}

} // namespace
} // namespace deftest
