// Single songs in and out of the demo game with the real converter: what each operation leaves behind,
// made or not.

#include "workflows/SongFiles.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "converter/formats/WaveWriter.h"
#include "definitions/DefinitionSession.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "tests/converter/Signals.h"
#include "tests/fixtures/TestFiles.h"
#include "tools/make-demo/Demo.h"

#include <gtest/gtest.h>

#include <functional>

using namespace fixtures;

namespace {

std::string TextOf(const Bytes& Data, size_t Count) {
  return std::string(Data.begin(), Data.begin() + Count);
}

// The real converter, counting its runs.
class TCountingProcess : public IConverterProcess {
public:
  TConverterRun Run(const std::wstring& Parameters) override {
    ++Runs;
    return FReal.Run(Parameters);
  }
  int Runs = 0;

private:
  TSystemConverterProcess FReal{platform::ProgramFolder()};
};

} // namespace

TEST(SongFilesTest, EachOperationLeavesItsResultOrNothing) {
  TempDir Dir;
  demo::MakeDemo(Dir.File("demo"));
  std::string Folder = JoinPath(Dir.File("demo"), "audio"), Def = JoinPath(Folder, "streams.dat");
  std::string Song = Dir.File("New Song.wav"), Noise = Dir.File("noise.wav"), Existing = Dir.File("old.wav");
  WriteFile(Song, sx::WriteWave(sxtest::Chord(22050, 22050)));
  WriteFile(Noise, TextBytes("not a song at all"));
  const Bytes Before = TextBytes("a file the user had");

  TDefinitionSession Session(Def);
  Session.Open();
  TStreamPack Pack(IncludeTrailingPathDelimiter(Folder));
  Pack.LoadFromFile(Def);
  TStreamData& Sample = *Pack.Streams(0)->Samples(0);
  TStreamData Unbound = Sample;
  Unbound.FileOffset = -1;

  TCountingProcess Process;
  TConverter Converter(Process);
  struct Case {
    const char* Name;
    std::function<TConversion()> Run;
    bool Made;
    int Runs;
    std::function<void()> Check;
  };
  std::string Preview;
  const std::string OldEntry = Sample.StreamFile()->Name;
  const int32_t EntriesBefore = Sample.Archive()->FileCount();
  const Case Cases[] = {
      {"export over a file",
       [&] {
         WriteFile(Existing, Before);
         return ExportSong(Converter, *Sample.StreamFile(), *FindConverterFormat("wave"),
                           AnsiToWide(Existing));
       },
       true, 1,
       [&] { EXPECT_EQ(ReadFile(Existing).size() > 44 ? TextOf(ReadFile(Existing), 4) : "", "RIFF"); }},
      {"export that fails keeps the file",
       [&] {
         WriteFile(Existing, Before);
         TEAStreamFile Broken = *Sample.StreamFile();
         Broken.Size = 8; // a cut-off song the converter cannot read
         return ExportSong(Converter, Broken, SongFormat(), AnsiToWide(Existing));
       },
       false, 1, [&] { EXPECT_EQ(ReadFile(Existing), Before); }},
      {"preview", [&] { return PreviewSong(Converter, *Sample.StreamFile(), Preview); }, true, 1,
       [&] {
         EXPECT_EQ(ExtractFileExt(Preview), ".wav");
         EXPECT_TRUE(platform::IsFile(Preview));
         platform::DeleteFile(Preview);
       }},
      {"import of a file that is no song",
       [&] { return ImportSong(Converter, Session.Imports, Sample, false, AnsiToWide(Noise)).Conversion; },
       false, 1, [&] { EXPECT_EQ(Sample.StreamFile()->Name, OldEntry); }},
      {"replace",
       [&] { return ImportSong(Converter, Session.Imports, Sample, false, AnsiToWide(Song)).Conversion; },
       true, 1, [&] { EXPECT_EQ(Sample.StreamFile()->Name, OldEntry); }},
      {"add",
       [&] { return ImportSong(Converter, Session.Imports, Sample, true, AnsiToWide(Song)).Conversion; },
       true, 1,
       [&] {
         EXPECT_EQ(Sample.StreamFile()->Name, "New Song.asf");
         EXPECT_EQ(Sample.Archive()->FileCount(), EntriesBefore + 1);
       }},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Name);
    Process.Runs = 0;
    TConversion Result = C.Run();
    EXPECT_EQ(Result.Made, C.Made);
    EXPECT_EQ(Result.Reason.empty(), C.Made) << "a failure says the converter's reason";
    EXPECT_EQ(Process.Runs, C.Runs);
    C.Check();
    EXPECT_TRUE(Dir.ScratchFiles().empty()) << "a scratch file was left behind";
    EXPECT_FALSE(platform::IsFile(Existing + ".~old"));
  }

  // A replace that could only fail is refused before the converter runs.
  Process.Runs = 0;
  std::string Refusal;
  try {
    ImportSong(Converter, Session.Imports, Unbound, false, AnsiToWide(Song));
  } catch (const std::exception& Error) {
    Refusal = Error.what();
  }
  EXPECT_EQ(Refusal, "The sample is bound to no file of its archive");
  EXPECT_EQ(Process.Runs, 0);
  EXPECT_TRUE(Dir.ScratchFiles().empty());
  Session.Close();
}
