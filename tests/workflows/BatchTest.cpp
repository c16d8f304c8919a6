// Batches end to end with the real converter on the demo game: songs synthesised as Wave files, one of
// them broken, imported with loudness matching and saved; then measured again from the archives.

#include "base/Paths.h"
#include "base/Text.h"
#include "converter/formats/WaveWriter.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/Text.h"
#include "tests/converter/Signals.h"
#include "tests/fixtures/TestFiles.h"
#include "tools/make-demo/Demo.h"
#include "workflows/BatchImport.h"
#include "workflows/FileOrder.h"
#include "workflows/LoudnessTarget.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <mutex>

using namespace fixtures;

namespace {

void PutLE32(Bytes& Out, size_t At, uint32_t Value) {
  for (int I = 0; I < 4; ++I)
    Out[At + I] = static_cast<uint8_t>(Value >> (8 * I));
}

// A Wave file of Audio with a LIST/INFO chunk naming its title and artist (UTF-8).
Bytes TaggedWave(const sx::TAudio& Audio, const std::string& Title, const std::string& Artist) {
  Bytes Wave = sx::WriteWave(Audio);
  Bytes Info = TextBytes("INFO");
  for (const auto& [Id, Text] : {std::pair<std::string, std::string>{"INAM", Title}, {"IART", Artist}}) {
    Bytes Chunk = TextBytes(Id + "    " + Text);
    Chunk.push_back(0);
    PutLE32(Chunk, 4, static_cast<uint32_t>(Chunk.size() - 8));
    if (Chunk.size() % 2 == 1)
      Chunk.push_back(0);
    Info.insert(Info.end(), Chunk.begin(), Chunk.end());
  }
  Bytes List = TextBytes("LIST    ");
  PutLE32(List, 4, static_cast<uint32_t>(Info.size()));
  List.insert(List.end(), Info.begin(), Info.end());
  Wave.insert(Wave.end(), List.begin(), List.end());
  PutLE32(Wave, 4, static_cast<uint32_t>(Wave.size() - 8));
  return Wave;
}

class BatchTest : public ::testing::Test {
protected:
  BatchTest() {
    demo::MakeDemo(Dir.File("demo"));
    Folder = JoinPath(Dir.File("demo"), "audio");
    Def = JoinPath(Folder, "streams.dat");
  }

  std::unique_ptr<TStreamPack> Load() {
    auto Pack = std::make_unique<TStreamPack>(IncludeTrailingPathDelimiter(Folder));
    Pack->LoadFromFile(Def);
    return Pack;
  }

  TMeasureReport MeasureEntry(TEAStreamFile& File) {
    std::string Scratch = Dir.File("measured.asf");
    File.SaveToFile(Scratch);
    TMeasureReport Report = Converter.Measure({Scratch})[0];
    platform::DeleteFile(Scratch);
    return Report;
  }

  TempDir Dir;
  std::string Folder, Def;
  TSystemConverterProcess Runner{platform::ProgramFolder()};
  TConverter Converter{Runner};
};

} // namespace

TEST_F(BatchTest, ASongsFolderReplacesAndAddsMatchedToTheDefinitionsLoudness) {
  std::string Songs = Dir.File("songs");
  std::filesystem::create_directories(Songs);
  const std::string LongTitle =
      "A Title Far Longer Than Any Field Of The Definition Can Hold, Snowman \xE2\x98\x83";
  WriteFile(JoinPath(Songs, "10 song.wav"), TaggedWave(sxtest::Song(44100, 4), "Song", "Band"));
  WriteFile(JoinPath(Songs, "01 quiet noise.wav"),
            TaggedWave(sxtest::PinkNoise(44100, 44100 * 4, 2, 0.03, 5), "Quiet Noise", "The Testers"));
  WriteFile(JoinPath(Songs, "02 broken.wav"), TextBytes("RIFF\x10\x00\x00\x00WAVEnothing here"));
  WriteFile(JoinPath(Songs, "03 loud sine.wav"), sx::WriteWave(sxtest::Sine(22050, 22050 * 3, 440, 0.9, 2)));
  WriteFile(JoinPath(Songs, "04 long.wav"), TaggedWave(sxtest::Chord(32000, 32000 * 3), LongTitle, "Artist"));

  TDefinitionSession Session(Def);
  Session.Open();
  auto Pack = Load();
  TDefinitionLoudness Game = MeasureDefinition(*Pack, Converter, 2);
  ASSERT_EQ(Game.Songs.size(), 12u);
  for (const TSongLoudness& Song : Game.Songs)
    EXPECT_TRUE(Song.Measure.Error.empty() && Song.Measure.Integrated)
        << Song.Entry << ": " << Song.Measure.Error;
  ASSERT_TRUE(Game.Target);

  // Stream 1 has five samples: from sample 3, two are replaced (one by the broken file) and three added.
  const int32_t SamplesBefore = Pack->Streams(1)->SampleCount();
  const int32_t OwnDescription = Pack->Streams(1)->Samples(3)->DescriptionIndex;
  const int32_t DescriptionsBefore = Pack->DescriptionCount();
  std::vector<TPlannedSong> Plan = PlanBatch(*Pack, {1, 3, ""}, ExpandInputs({Songs}));
  Plan[4].Shape = {0.5, 3, 1}; // the last song alone is trimmed and faded
  TBatchOptions Options;
  Options.Target = Game.Target;
  std::vector<size_t> Reported;
  Options.SongDone = [&](const TSongResult&, size_t I, size_t Count) {
    EXPECT_EQ(Count, 5u);
    Reported.push_back(I);
  };
  TBatchResult Result = ImportBatch(*Pack, Session, Plan, Converter, Options);
  EXPECT_EQ(Reported, (std::vector<size_t>{0, 1, 2, 3, 4}));
  ASSERT_EQ(Result.Songs.size(), 5u);
  EXPECT_FALSE(Result.Cancelled);
  EXPECT_EQ(Result.ImportedCount(), 4u);
  EXPECT_TRUE(Result.Replaced);

  const std::string Names[] = {"01 quiet noise.wav", "02 broken.wav", "03 loud sine.wav", "04 long.wav",
                               "10 song.wav"};
  for (size_t I = 0; I < 5; ++I)
    EXPECT_EQ(ExtractFileName(Result.Songs[I].Song.Source), Names[I]);
  const TSongResult& Broken = Result.Songs[1];
  EXPECT_EQ(Broken.State, TSongResult::Failed);
  EXPECT_NE(Broken.Failure.find("not a known sound format"), std::string::npos) << Broken.Failure;

  const int32_t ExpectedSample[] = {3, 4, 5, 6, 7};
  for (size_t I : {0u, 2u, 3u, 4u}) {
    const TSongResult& R = Result.Songs[I];
    SCOPED_TRACE(Names[I]);
    ASSERT_EQ(R.State, TSongResult::Imported) << R.Failure;
    EXPECT_EQ(R.Song.Sample, ExpectedSample[I]);
    ASSERT_TRUE(R.LoudnessBefore && R.Gain);
    EXPECT_EQ(R.Song.AsNewFile, I >= 2);
  }
  EXPECT_GT(*Result.Songs[0].Gain, 5) << "the quiet noise is raised";
  EXPECT_LT(*Result.Songs[2].Gain, -5) << "the loud sine is lowered";

  // Descriptions: the replaced sample's own one in place, a new one for each added sample.
  EXPECT_EQ(Result.Songs[0].Description, OwnDescription);
  EXPECT_FALSE(Result.Songs[0].NewDescription);
  EXPECT_EQ(FieldText(Pack->Descriptions(OwnDescription)->Name), "Quiet Noise");
  EXPECT_EQ(FieldText(Pack->Descriptions(OwnDescription)->Singer), "The Testers");
  EXPECT_EQ(Pack->DescriptionCount(), DescriptionsBefore + 3);
  EXPECT_EQ(FieldText(Pack->Descriptions(Result.Songs[2].Description)->Name), "03 loud sine")
      << "the file's name";
  const TSongResult& Long = Result.Songs[3];
  EXPECT_TRUE(Long.NewDescription && Long.Cut);
  EXPECT_EQ(FieldText(Pack->Descriptions(Long.Description)->Name), LongTitle.substr(0, 63));
  EXPECT_EQ(Long.Lost, "") << "the snowman lies beyond the cut";

  Pack->SaveWithArchives(Def, Result.Replaced, {}, &Session.Journal);
  Session.Imports.Forget();
  Session.Close();
  EXPECT_TRUE(Dir.Leftovers().empty());
  EXPECT_TRUE(Dir.ScratchFiles().empty());

  // Read back: every sample resolves, each imported song is as long as its file or its trim, and at the
  // target or its peak at the limit.
  Pack = Load();
  const double Seconds[] = {4, 0, 3, 3, 2.5};
  EXPECT_EQ(Pack->Streams(1)->SampleCount(), SamplesBefore + 3);
  ForEachSample(*Pack, [](const TStreamData& Sample) { EXPECT_NE(Sample.StreamFile(), nullptr); });
  for (size_t I : {0u, 2u, 3u, 4u}) {
    const TSongResult& R = Result.Songs[I];
    TEAStreamFile* File = Pack->Streams(1)->Samples(R.Song.Sample)->StreamFile();
    ASSERT_NE(File, nullptr);
    EXPECT_EQ(File->Name, R.Entry);
    TMeasureReport After = MeasureEntry(*File);
    ASSERT_TRUE(After.Integrated && After.TruePeak) << After.Error;
    EXPECT_NEAR(After.Seconds, Seconds[I], 0.001);
    SCOPED_TRACE(Names[I] + ": " + std::to_string(*After.Integrated) + " LUFS, " +
                 std::to_string(*After.TruePeak) + " dBTP, target " + std::to_string(*Game.Target));
    if (R.HeldBack) {
      EXPECT_NEAR(*After.TruePeak, -1.0, 0.5);
      EXPECT_LT(*After.Integrated, *Game.Target);
    } else {
      EXPECT_NEAR(*After.Integrated, *Game.Target, 0.5);
    }
  }
}

// One converter: the cancel comes while the first song converts, before the others have started. The
// song in hand is written; the rest are not.
TEST_F(BatchTest, ACancelKeepsTheSongsInHandUntilTheyAreDiscarded) {
  WriteFile(Dir.File("a.wav"), sx::WriteWave(sxtest::Chord(22050, 22050 * 2)));
  WriteFile(Dir.File("b.wav"), sx::WriteWave(sxtest::Sine(22050, 22050, 330, 0.3)));
  WriteFile(Dir.File("c.wav"), sx::WriteWave(sxtest::Sine(22050, 22050, 550, 0.3)));
  const std::string Archive = JoinPath(Folder, "frontend.big");
  const Bytes ArchiveBefore = ReadFile(Archive), DefinitionBefore = ReadFile(Def);
  for (bool Save : {false, true}) {
    SCOPED_TRACE(Save ? "saved" : "discarded");
    TDefinitionSession Session(Def);
    Session.Open();
    auto Pack = Load();
    std::atomic<bool> Cancel{false};
    TBatchOptions Options; // no target: the songs keep their level
    Options.Cancel = &Cancel;
    Options.Workers = 1;
    Options.SongStep = [&](size_t I, TSongStep Step) {
      if (I == 0 && Step == TSongStep::Convert)
        Cancel = true;
    };
    std::vector<TPlannedSong> Plan =
        PlanBatch(*Pack, {0, 0, ""}, ExpandInputs({Dir.File("c.wav"), Dir.File("a.wav"), Dir.File("b.wav")}));
    TBatchResult Result = ImportBatch(*Pack, Session, Plan, Converter, Options);
    EXPECT_TRUE(Result.Cancelled);
    ASSERT_EQ(Result.Songs.size(), 3u);
    EXPECT_EQ(Result.Songs[0].State, TSongResult::Imported);
    EXPECT_EQ(ExtractFileName(Result.Songs[0].Song.Source), "a.wav");
    EXPECT_FALSE(Result.Songs[0].Gain);
    EXPECT_EQ(Result.Songs[1].State, TSongResult::Cancelled);
    EXPECT_EQ(Result.Songs[2].State, TSongResult::Cancelled);
    EXPECT_NE(ReadFile(Archive), ArchiveBefore) << "the first song is in the archive";
    if (Save) {
      Pack->SaveWithArchives(Def, Result.Replaced, {}, &Session.Journal);
      Session.Imports.Forget();
    }
    Session.Close();
    EXPECT_EQ(ReadFile(Archive) == ArchiveBefore, !Save);
    EXPECT_EQ(ReadFile(Def) == DefinitionBefore, !Save);
    EXPECT_EQ(Dir.ScratchFiles(), std::vector<std::string>{});
    EXPECT_TRUE(Dir.Leftovers().empty());
  }
  // New entries wait to go in together: the third, in hand at the cancel and waiting for a group of two,
  // is written when the batch stops.
  TDefinitionSession Session(Def);
  Session.Open();
  auto Pack = Load();
  std::atomic<bool> Cancel{false};
  TBatchOptions Options;
  Options.Cancel = &Cancel;
  Options.Workers = 1;
  Options.SongStep = [&](size_t I, TSongStep Step) {
    if (I == 2 && Step == TSongStep::Convert)
      Cancel = true;
  };
  const std::vector<std::string> Songs = {Dir.File("a.wav"), Dir.File("b.wav"), Dir.File("c.wav"),
                                          Dir.File("a.wav")};
  TBatchResult Result =
      ImportBatch(*Pack, Session, PlanBatch(*Pack, {0, 0, "frontend.big"}, Songs), Converter, Options);
  EXPECT_TRUE(Result.Cancelled);
  const TSongResult::TState Expected[] = {TSongResult::Imported, TSongResult::Imported, TSongResult::Imported,
                                          TSongResult::Cancelled};
  for (size_t I = 0; I < 4; ++I)
    EXPECT_EQ(Result.Songs[I].State, Expected[I]) << I;
  EXPECT_EQ(Dir.ScratchFiles(), std::vector<std::string>{});
  Session.Close();
}

// Stream 1 sample 1 and stream 2 sample 4 of the demo play one song. A batch into the first gives it a
// new entry; the other still plays the old song, byte for byte, once saved.
TEST_F(BatchTest, ASongThatASampleOutsideTheBatchPlaysIsLeftAsItWas) {
  WriteFile(Dir.File("a.wav"), sx::WriteWave(sxtest::Sine(22050, 22050, 440, 0.3)));
  auto SongBytes = [](const TStreamData& Sample) {
    const TEAStreamFile* File = Sample.StreamFile();
    if (File == nullptr)
      return Bytes();
    const Bytes Archive = ReadFile(File->Owner->FileName);
    return Bytes(Archive.begin() + File->Offset, Archive.begin() + File->Offset + File->Size);
  };
  TDefinitionSession Session(Def);
  Session.Open();
  auto Pack = Load();
  const TEAStreamFile* Shared = Pack->Streams(1)->Samples(1)->StreamFile();
  ASSERT_TRUE(Shared != nullptr && Pack->Streams(2)->Samples(4)->StreamFile() == Shared);
  const std::string OldEntry = Shared->Name;
  const Bytes OldSong = SongBytes(*Pack->Streams(2)->Samples(4));
  TBatchResult Result =
      ImportBatch(*Pack, Session, PlanBatch(*Pack, {1, 1, ""}, {Dir.File("a.wav")}), Converter, {});
  ASSERT_EQ(Result.Songs.size(), 1u);
  ASSERT_EQ(Result.Songs[0].State, TSongResult::Imported) << Result.Songs[0].Failure;
  Pack->SaveWithArchives(Def, Result.Replaced, {}, &Session.Journal);
  Session.Imports.Forget();
  Session.Close();

  Pack = Load();
  const TStreamData& Other = *Pack->Streams(2)->Samples(4);
  ASSERT_NE(Other.StreamFile(), nullptr);
  EXPECT_EQ(Other.StreamFile()->Name, OldEntry);
  EXPECT_EQ(SongBytes(Other), OldSong);
  const TStreamData& Imported = *Pack->Streams(1)->Samples(1);
  ASSERT_NE(Imported.StreamFile(), nullptr);
  EXPECT_NE(Imported.StreamFile()->Name, OldEntry);
  EXPECT_NE(SongBytes(Imported), OldSong);
}

// A song without tags is described from its file's own name, also when the code page lacks some of its
// characters and the file is named by its short name (Windows): from a folder's listing, as a dropped
// folder gives it. The characters the code page lacks are named as lost.
TEST_F(BatchTest, ASongWithoutTagsIsDescribedFromItsOwnName) {
  const std::string Songs = Dir.File("foreign");
  std::filesystem::create_directories(Songs);
  const std::u8string Name = u8"B\u00e4nd - \u97f3\u697d \u266b.wav";
  {
    std::ofstream Out(std::filesystem::path(Songs) / std::filesystem::path(Name), std::ios::binary);
    const Bytes Wave = sx::WriteWave(sxtest::Sine(22050, 22050, 440, 0.3));
    Out.write(reinterpret_cast<const char*>(Wave.data()), static_cast<std::streamsize>(Wave.size()));
  }
  TDefinitionSession Session(Def);
  Session.Open();
  auto Pack = Load();
  const std::vector<std::string> Inputs = ExpandInputs({Songs});
  ASSERT_EQ(Inputs.size(), 1u);
  ASSERT_TRUE(platform::IsFile(Inputs[0])) << Inputs[0];
  TBatchResult Result = ImportBatch(*Pack, Session, PlanBatch(*Pack, {1, 0, ""}, Inputs), Converter, {});
  ASSERT_EQ(Result.Songs.size(), 1u);
  const TSongResult& Song = Result.Songs[0];
  ASSERT_EQ(Song.State, TSongResult::Imported) << Song.Failure;
  const TStreamDescription& Described = *Pack->Descriptions(Song.Description);
  EXPECT_EQ(platform::AnsiToWide(FieldText(Described.Singer)), L"B\u00e4nd");
  EXPECT_EQ(FieldText(Described.Name).find('~'), std::string::npos) << "titled from the short name";
  EXPECT_EQ(Song.Lost, "\xE9\x9F\xB3\xE6\xA5\xBD\xE2\x99\xAB");
  Session.Close();
}

// Records the parameters of every run of the converter, passing each on.
class TRecordedRuns : public IConverterProcess {
public:
  explicit TRecordedRuns(IConverterProcess& Real) : FReal(Real) {}
  TConverterRun Run(const std::wstring& Parameters) override {
    {
      std::lock_guard<std::mutex> Hold(FLock);
      Runs.push_back(Parameters);
    }
    return FReal.Run(Parameters);
  }
  std::vector<std::wstring> Runs;

private:
  IConverterProcess& FReal;
  std::mutex FLock;
};

// The demo's twelve songs are measured in runs of about four that the converters share evenly: none is
// left measuring alone at the end.
TEST_F(BatchTest, TheGamesSongsAreMeasuredInRunsTheConvertersShare) {
  auto Pack = Load();
  const std::pair<unsigned, std::vector<size_t>> Cases[] = {
      {1, {4, 4, 4}}, {2, {3, 3, 3, 3}}, {5, {2, 2, 2, 3, 3}}};
  for (const auto& [Workers, Sizes] : Cases) {
    TRecordedRuns Recorded(Runner);
    TConverter Measuring(Recorded);
    TDefinitionLoudness Game = MeasureDefinition(*Pack, Measuring, Workers);
    std::vector<size_t> Songs; // each run's, by the quotes around its inputs
    for (const std::wstring& Run : Recorded.Runs)
      Songs.push_back(static_cast<size_t>(std::count(Run.begin(), Run.end(), L'"') / 2));
    std::sort(Songs.begin(), Songs.end());
    EXPECT_EQ(Songs, Sizes) << Workers << " converters";
    EXPECT_TRUE(std::all_of(Game.Songs.begin(), Game.Songs.end(),
                            [](const TSongLoudness& Song) { return Song.Measure.Integrated.has_value(); }));
  }
}

// Eleven songs on two converters: each song's tags come with its conversion, one run a song, and each song
// is described by its own.
TEST_F(BatchTest, EverySongIsDescribedByItsOwnTagsFromItsConversion) {
  const std::string Songs = Dir.File("eleven");
  std::filesystem::create_directories(Songs);
  constexpr size_t kSongs = 11;
  for (size_t I = 0; I < kSongs; ++I)
    WriteFile(JoinPath(Songs, "song " + std::to_string(I + 1) + ".wav"),
              TaggedWave(sxtest::Sine(22050, 2205, 220 + 20 * double(I), 0.3),
                         "Title " + std::to_string(I + 1), "Artist " + std::to_string(I + 1)));
  TDefinitionSession Session(Def);
  Session.Open();
  auto Pack = Load();
  const std::string Archive = ExtractFileName(Pack->Archives(0)->FileName);
  TRecordedRuns Recorded(Runner);
  TConverter Counted(Recorded);
  TBatchOptions Options;
  Options.Workers = 2;
  std::mutex Lock;
  std::vector<std::vector<TSongStep>> Steps(kSongs);
  Options.SongStep = [&](size_t I, TSongStep Step) {
    std::lock_guard<std::mutex> Hold(Lock);
    Steps[I].push_back(Step);
  };
  TBatchResult Result =
      ImportBatch(*Pack, Session, PlanBatch(*Pack, {1, 0, Archive}, ExpandInputs({Songs})), Counted, Options);
  ASSERT_EQ(Result.Songs.size(), kSongs);
  EXPECT_EQ(Recorded.Runs.size(), kSongs) << "one run a song, which reads its tags too";
  for (size_t I = 0; I < kSongs; ++I) {
    const TSongResult& Song = Result.Songs[I];
    SCOPED_TRACE(Song.Song.Source);
    ASSERT_EQ(Song.State, TSongResult::Imported) << Song.Failure;
    EXPECT_EQ(FieldText(Pack->Descriptions(Song.Description)->Name), "Title " + std::to_string(I + 1));
    EXPECT_EQ(FieldText(Pack->Descriptions(Song.Description)->Singer), "Artist " + std::to_string(I + 1));
    EXPECT_EQ(Pack->Streams(1)->Samples(Song.Song.Sample)->StreamFile()->Name, Song.Entry);
    EXPECT_EQ(Song.Entry, "song " + std::to_string(I + 1) + ".asf");
    EXPECT_EQ(Steps[I], (std::vector<TSongStep>{TSongStep::Convert, TSongStep::Ready, TSongStep::Write}))
        << "converted, then written";
  }
  // Each add rewrites the whole archive, keeping the file before it until the save: the songs go in in
  // groups as large as what went in before them (1, 1, 2, 4 and the last 3), five rewrites, not eleven.
  size_t Rewrites = 0;
  for (const auto& File : std::filesystem::directory_iterator(Folder))
    Rewrites += File.path().filename().string().rfind(Archive + ".~undo", 0) == 0;
  EXPECT_EQ(Rewrites, 5u);
  Session.Close();
}
