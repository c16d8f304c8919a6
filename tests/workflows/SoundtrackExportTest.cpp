// The soundtrack out of the demo game: the files' names and the playlists from the definition, then one
// export with the real converter, tagged, with a song that fails among the others.

#include "workflows/SoundtrackExport.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "tests/fixtures/TestFiles.h"
#include "tools/make-demo/Demo.h"

#include <gtest/gtest.h>

#include <mutex>

using namespace fixtures;

namespace {

class SoundtrackExportTest : public ::testing::Test {
protected:
  void SetUp() override {
    demo::MakeDemo(Dir.File("demo"));
    Pack.LoadFromFile(JoinPath(Folder, "streams.dat"));
  }
  void Describe(int32_t Stream, int32_t Sample, const std::string& Singer, const std::string& Name) {
    TStreamData& S = *Pack.Streams(Stream)->Samples(Sample);
    S.DescriptionIndex = Pack.DescriptionCount();
    Pack.AddDescription(Singer, "Album", Name);
  }
  std::vector<std::string> Names(const TSoundtrackPlan& Plan) const {
    std::vector<std::string> Names;
    for (const TSoundtrackSong& Song : Plan.Songs)
      Names.push_back(Song.Name);
    return Names;
  }
  TempDir Dir;
  std::string Folder = JoinPath(Dir.File("demo"), "audio");
  TStreamPack Pack{IncludeTrailingPathDelimiter(JoinPath(Dir.File("demo"), "audio"))};
};

// The real converter, failing the run whose output is named Fail.
class TFailingProcess : public IConverterProcess {
public:
  TConverterRun Run(const std::wstring& Parameters) override {
    {
      std::lock_guard<std::mutex> Lock(FLock);
      Lines.push_back(Parameters);
    }
    if (!Fail.empty() && Parameters.find(Fail) != std::wstring::npos)
      return {true, 2, "", "sx: it cannot be done\n"};
    return FReal.Run(Parameters);
  }
  std::wstring Fail;
  std::vector<std::wstring> Lines;

private:
  std::mutex FLock;
  TSystemConverterProcess FReal{platform::ProgramFolder()};
};

} // namespace

TEST_F(SoundtrackExportTest, EverySongOnceNamedSafelyFromItsDescription) {
  const TConverterFormat& Flac = *FindConverterFormat("flac");
  TSoundtrackPlan Plain = PlanSoundtrack(Pack, Flac, TSongNames::Description);
  ASSERT_EQ(Plain.Songs.size(), 12u) << "the demo's twelve songs, each once";
  ASSERT_EQ(Plain.Playlists.size(), 3u);
  EXPECT_EQ(Plain.Playlists[0].Name, "Stream 0.m3u8");
  EXPECT_EQ(Plain.Playlists[0].Songs.size(), static_cast<size_t>(Pack.Streams(0)->SampleCount()));
  EXPECT_EQ(Plain.Songs[0].Name, "The Offside Trap - Kick Off.flac");
  EXPECT_EQ(Plain.Songs[0].Tags.Album, "Season Opener");

  struct TCase {
    const char* Singer;
    const char* Name;
    const char* File;
  } Cases[] = {
      {"AC/DC", "What? <Now>: \"Yes\" | No*", "AC_DC - What_ _Now__ _Yes_ _ No_.flac"},
      {"", "Alone", "Alone.flac"},
      {"", "con", "_con.flac"},
      {"", "Com7.. ", "_Com7.flac"},
      {"Trailing", "Dots...", "Trailing - Dots.flac"},
      {"Same", "Song", "Same - Song.flac"},
      {"SAME", "song", "SAME - song (2).flac"},
      {"Singer", "", "intro.flac"}, // no name: the entry's
  };
  // Each case takes the first sample of a song of its own, in the order the plan finds them.
  for (size_t I = 0; I < std::size(Cases); ++I)
    Describe(static_cast<int32_t>(I / 4), static_cast<int32_t>(I % 4), Cases[I].Singer, Cases[I].Name);
  TSoundtrackPlan Plan = PlanSoundtrack(Pack, Flac, TSongNames::Description);
  for (size_t I = 0; I < std::size(Cases); ++I) {
    SCOPED_TRACE(Cases[I].Name);
    const std::string Entry = Pack.Streams(static_cast<int32_t>(I / 4))->Samples(I % 4)->StreamFile()->Name;
    std::string Expected = Cases[I].File;
    if (Expected == "intro.flac")
      Expected = ChangeFileExt(Entry, ".flac");
    bool Found = false;
    for (const TSoundtrackSong& Song : Plan.Songs)
      Found = Found || (Song.File->Name == Entry && Song.Name == Expected);
    EXPECT_TRUE(Found) << Entry << " as " << Expected;
  }
  EXPECT_EQ(PlanSoundtrack(Pack, Flac, TSongNames::Entry).Songs[0].Name,
            ChangeFileExt(Plain.Songs[0].File->Name, ".flac"));
  TSoundtrackPlan One = PlanSoundtrack(Pack, Flac, TSongNames::Description, 2);
  ASSERT_EQ(One.Playlists.size(), 1u);
  EXPECT_EQ(One.Playlists[0].Name, "Stream 2.m3u8");
  EXPECT_THROW(PlanSoundtrack(Pack, Flac, TSongNames::Description, Pack.StreamCount()), Exception);
}

TEST_F(SoundtrackExportTest, TheSongsAreWrittenTaggedAndListedAndAFailureLetsTheRestGoOn) {
  const TConverterFormat& Flac = *FindConverterFormat("flac");
  Describe(0, 0, "Caf\xe9 Noir", "Say \"Hi\"");
  TSoundtrackPlan Plan = PlanSoundtrack(Pack, Flac, TSongNames::Description, 0);
  ASSERT_EQ(Plan.Songs.size(), 4u);
  const std::string Out = Dir.File("soundtrack");
  TFailingProcess Process;
  Process.Fail = platform::FileNameToWide(Plan.Songs[2].Name);
  TConverter Converter(Process);
  std::vector<size_t> Done;
  TSoundtrackOptions Options;
  Options.Workers = 2;
  Options.SongDone = [&](const TSoundtrackSongResult&, size_t Index, size_t) { Done.push_back(Index); };
  TSoundtrackResult Result = ExportSoundtrack(Plan, Out, Converter, Flac, Options);

  EXPECT_EQ(Done, (std::vector<size_t>{0, 1, 2, 3})) << "in the plan's order";
  EXPECT_EQ(Result.WrittenCount(), 3u);
  EXPECT_EQ(Result.Songs[2].State, TSoundtrackSongResult::Failed);
  EXPECT_EQ(Result.Songs[2].Failure, "sx: it cannot be done");
  EXPECT_FALSE(platform::IsFile(JoinPath(Out, Plan.Songs[2].Name)));
  std::vector<std::string> Written;
  for (const TSoundtrackSong& Song : Plan.Songs)
    Written.push_back(JoinPath(Out, Song.Name));
  Written.erase(Written.begin() + 2);
  std::vector<TTagsReport> Tags = Converter.Tags(Written);
  ASSERT_EQ(Tags.size(), 3u);
  EXPECT_EQ(Tags[0].Title, "Say 'Hi'") << "the converter's command line has no escape for a double quote";
  EXPECT_EQ(Tags[0].Artist, "Caf\xc3\xa9 Noir");
  EXPECT_EQ(Tags[1].Title, Plan.Songs[1].Tags.Title);

  // The playlist in UTF-8, without the song that failed.
  std::string Expected =
      "#EXTM3U\r\n#EXTINF:-1,Caf\xc3\xa9 Noir - Say \"Hi\"\r\nCaf\xc3\xa9 Noir - Say _Hi_.flac\r\n";
  for (size_t Song : {1, 3})
    Expected += "#EXTINF:-1," + Plan.Songs[Song].Tags.Artist + " - " + Plan.Songs[Song].Tags.Title + "\r\n" +
                Plan.Songs[Song].Name + "\r\n";
  ASSERT_EQ(Plan.Playlists[0].Songs, (std::vector<size_t>{0, 1, 2, 3}));
  EXPECT_EQ(ReadFile(JoinPath(Out, "Stream 0.m3u8")), TextBytes(Expected));
  EXPECT_EQ(ExistingFiles(Plan, Out).size(), 4u) << "three songs and the playlist";
  EXPECT_TRUE(Dir.ScratchFiles().empty());
}
