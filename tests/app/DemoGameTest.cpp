// The demo game as a new user first sees it: made twice alike, opened by the window's logic, every song
// decoded by the converter, and the preload archives carrying the definition.

#include "base/Paths.h"
#include "converter/Converter.h"
#include "tests/app/EditorFixture.h"
#include "tests/fixtures/RefPack.h"
#include "tools/make-demo/Demo.h"

#include <cmath>
#include <filesystem>
#include <map>
#include <set>

using namespace fixtures;

namespace {

// Every file below Folder by its path relative to it, with its bytes.
std::map<std::string, Bytes> FilesBelow(const std::string& Folder) {
  std::map<std::string, Bytes> Files;
  for (const auto& Entry : std::filesystem::recursive_directory_iterator(Folder))
    if (Entry.is_regular_file())
      Files[std::filesystem::relative(Entry.path(), Folder).generic_string()] =
          ReadFile(Entry.path().string());
  return Files;
}

Bytes EntryBytes(TEAStreamFile& File) {
  TMemoryStream Out;
  File.SaveToStream(Out);
  return Out.Bytes();
}

double Rms(const std::vector<int16_t>& Samples) {
  double Sum = 0;
  for (int16_t S : Samples)
    Sum += double(S) * S;
  return Samples.empty() ? 0 : std::sqrt(Sum / Samples.size());
}

} // namespace

TEST_F(EditorTest, TheDemoGameOpensEverySongSoundsAndThePreloadArchivesHoldItsDefinition) {
  std::string Demo = Dir.File("demo");
  demo::MakeDemo(Demo);
  demo::MakeDemo(Dir.File("again"));
  std::map<std::string, Bytes> Files = FilesBelow(Demo);
  std::set<std::string> Names;
  for (const auto& [Name, Content] : Files)
    Names.insert(Name);
  EXPECT_EQ(Names, (std::set<std::string>{"audio/streams.dat", "audio/frontend.big", "audio/ingame.big",
                                          "audio/replay.big", "preload/faudio.viv", "preload/gaudio.viv",
                                          "preload/gaudiofa.viv"}));
  EXPECT_TRUE(Files == FilesBelow(Dir.File("again"))) << "two runs made different bytes";

  std::string Definition = JoinPath(JoinPath(Demo, "audio"), "streams.dat");
  Open(Definition);
  ASSERT_TRUE(Boxes.Shown.empty()) << WideToAnsi(Boxes.Shown[0].Text);
  TStreamPack& Pack = *Form->Pack();
  ASSERT_EQ(Pack.ArchiveCount(), 3);
  ASSERT_EQ(Pack.StreamCount(), 4);
  EXPECT_EQ(Pack.Streams(3)->SampleCount(), 0);

  int Samples = 0;
  std::map<TEAStreamFile*, std::vector<int16_t>> Songs;
  for (int32_t S = 0; S < Pack.StreamCount(); ++S)
    for (int32_t I = 0; I < Pack.Streams(S)->SampleCount(); ++I, ++Samples) {
      TStreamData& Sample = *Pack.Streams(S)->Samples(I);
      TEAStreamFile* File = Sample.StreamFile();
      ASSERT_NE(File, nullptr) << "stream " << S << " sample " << I;
      EXPECT_EQ(Sample.FileOffset, File->Offset);
      ASSERT_NE(Sample.Description(), nullptr);
      if (Songs.count(File) == 0) {
        sx::TAudio Audio = sx::ReadAudio(EntryBytes(*File));
        EXPECT_GE(Audio.Frames(), Audio.SampleRate * 3) << File->Name;
        EXPECT_GT(Rms(Audio.Samples), 1000) << File->Name << " is (nearly) silent";
        Songs[File] = Audio.Samples;
      }
    }
  EXPECT_EQ(Songs.size(), 12u);
  EXPECT_GT(Samples, 12) << "no sample is shared by two streams";
  std::set<std::vector<int16_t>> Distinct;
  for (const auto& [File, Sound] : Songs)
    Distinct.insert(Sound);
  EXPECT_EQ(Distinct.size(), Songs.size()) << "two songs sound the same";

  for (const char* Name : {"faudio.viv", "gaudio.viv", "gaudiofa.viv"}) {
    TEAStream Archive;
    Archive.LoadFromFile(JoinPath(JoinPath(Demo, "preload"), Name));
    int Found = 0;
    for (int32_t I = 0; I < Archive.FileCount(); ++I)
      if (Archive.Files(I)->Name == "streams.dat") {
        ++Found;
        EXPECT_EQ(RefPackDecode(EntryBytes(*Archive.Files(I))), ReadFile(Definition)) << Name;
      }
    EXPECT_EQ(Found, 1) << Name;
    EXPECT_GT(Archive.FileCount(), 1) << Name;
  }
}
