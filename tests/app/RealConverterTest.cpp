// The sample workflows with the real converter below the program: a recording is imported, the sample is
// previewed and exported to every format, and each exported kind is imported again.

#include "base/Paths.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "tests/app/EditorFixture.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#ifdef ORVIK_REAL_SX_FOLDER

using namespace fixtures;

namespace {

// Half a second of a 440 Hz tone, 16-bit mono, 22050 Hz.
Bytes ToneWave() {
  const uint32_t Rate = 22050, Count = Rate / 2;
  Bytes Out = TextBytes("RIFF");
  AppendLE32(Out, 36 + Count * 2);
  Bytes Format = Concat({TextBytes("WAVEfmt "), {16, 0, 0, 0, 1, 0, 1, 0}});
  Out.insert(Out.end(), Format.begin(), Format.end());
  AppendLE32(Out, Rate);
  AppendLE32(Out, Rate * 2);
  Bytes Tail = Concat({{2, 0, 16, 0}, TextBytes("data")});
  Out.insert(Out.end(), Tail.begin(), Tail.end());
  AppendLE32(Out, Count * 2);
  for (uint32_t I = 0; I < Count; ++I) {
    int16_t V = static_cast<int16_t>(12000 * std::sin(2 * 3.14159265358979 * 440 * I / Rate));
    Out.push_back(static_cast<uint8_t>(V & 0xFF));
    Out.push_back(static_cast<uint8_t>((V >> 8) & 0xFF));
  }
  return Out;
}

std::string Magic(const std::string& Path) {
  Bytes Data = ReadFile(Path);
  return std::string(Data.begin(), Data.begin() + std::min<size_t>(4, Data.size()));
}

class RealConverterTest : public EditorTest {
protected:
  RealConverterTest() {
    Form.reset();
    Form = NewForm(&RealRunner,
                   JoinPath(platform::ProgramFolder(), ORVIK_REAL_SX_FOLDER) + platform::PathDelimiter());
  }
  void Import(const std::string& Path, bool AsNewFile) {
    Dialogs.OpenAnswers.push_back(W(Path));
    if (AsNewFile)
      Form->btnAddFileClick();
    else
      Form->actSampleImportExecute();
  }
};

} // namespace

TEST_F(RealConverterTest, ImportPreviewAndExportEveryFormat) {
  std::string Recording = Dir.File("tone recording.wav");
  WriteFile(Recording, ToneWave());
  OpenStandard();
  Select({0, 1, 0}); // b1
  Import(Recording, false);
  ASSERT_TRUE(Boxes.Shown.empty()) << WideToAnsi(Boxes.Shown[0].Text);
  TStreamData* Sample = Form->SelectedSample();
  Sample->StreamFile()->SaveToFile(Dir.File("stored.asf"));
  EXPECT_EQ(Magic(Dir.File("stored.asf")), "SCHl") << "the archive does not hold an EA stream";

  Form->actSamplePreviewExecute();
  ASSERT_TRUE(Form->PreviewPlaying());
  EXPECT_EQ(Magic(Sound.Playing), "RIFF");
  Form->actSamplePreviewExecute();

  const char* Magics[9] = {"", "RIFF", "SCHl", "SCHl", "SCHl", "SCHl", "SCHl", "FORM", "fLaC"};
  for (int Index = 1; Index <= 8; ++Index) {
    std::string Out = Dir.File("export " + std::to_string(Index) +
                               (Index == 1   ? ".wav"
                                : Index == 7 ? ".aif"
                                : Index == 8 ? ".flac"
                                             : ".asf"));
    Form->actSampleExportDialog.FileName = W(Out);
    Form->actSampleExportDialog.FilterIndex = Index;
    Form->actSampleExportAccept();
    ASSERT_TRUE(platform::IsFile(Out)) << "format " << Index;
    EXPECT_EQ(Magic(Out), Magics[Index]) << "format " << Index;
  }
  EXPECT_TRUE(Boxes.Shown.empty());

  // Every kind the converter writes can come back in, as a new file of the archive.
  for (const char* Name : {"export 1.wav", "export 7.aif", "export 8.flac", "export 2.asf", "export 3.asf",
                           "export 4.asf", "export 5.asf", "export 6.asf"}) {
    Import(Dir.File(Name), true);
    ASSERT_TRUE(Boxes.Shown.empty()) << Name;
    EXPECT_EQ(Form->SelectedSample()->StreamFile()->Name, ChangeFileExt(Name, ".asf"));
  }
  EXPECT_TRUE(Form->DefinitionChanged());

  std::string LastName = "export 6.asf";
  // MP3, made here by FFmpeg where the machine has it (natively).
  if (std::string(platform::ExecutableSuffix()).empty() &&
      std::system("ffmpeg -version >/dev/null 2>&1") == 0) {
    std::string Mp3 = Dir.File("tone.mp3");
    std::string Command = "ffmpeg -loglevel error -y -i '" + Recording + "' -c:a libmp3lame '" + Mp3 + "'";
    ASSERT_EQ(std::system(Command.c_str()), 0);
    Import(Mp3, true);
    EXPECT_TRUE(Boxes.Shown.empty());
    EXPECT_EQ(Form->SelectedSample()->StreamFile()->Name, "tone.asf");
    LastName = "tone.mp3";
  }

  Boxes.Answers = {TMsgResult::No};
  Form->actFileSaveExecute();
  OpenStandard();
  ASSERT_NE(Form->Pack(), nullptr);
  EXPECT_EQ(Form->Pack()->Streams(0)->Samples(1)->StreamFile()->Name, ChangeFileExt(LastName, ".asf"));
  EXPECT_TRUE(Dir.ScratchFiles().empty());
}

// A recording and an export named in scripts outside the ANSI code page (Cyrillic and Japanese) reach the
// converter and its file calls as they are, from the dialog's Unicode name to the file on disk.
TEST_F(RealConverterTest, UnicodeFileNamesReachTheConverter) {
  namespace fs = std::filesystem;
  const fs::path Folder(Dir.File(""));
  const fs::path Recording = Folder / fs::path(u8"запись 録音.wav"),
                 Export = Folder / fs::path(u8"экспорт 書き出し.aif");
  // The dialogs' text: UTF-16 on Windows; natively file names are bytes, one character each.
  const bool Windows = !std::string(platform::ExecutableSuffix()).empty();
  auto DialogText = [&](const fs::path& P) { return Windows ? P.wstring() : W(P.string()); };
  {
    const Bytes Tone = ToneWave();
    std::ofstream(Recording, std::ios::binary).write(reinterpret_cast<const char*>(Tone.data()), Tone.size());
  }
  OpenStandard();
  Select({0, 1, 0});
  Form->actSampleImportDialog.FileName.clear();
  Dialogs.OpenAnswers.push_back(DialogText(Recording));
  Form->actSampleImportExecute();
  ASSERT_TRUE(Boxes.Shown.empty()) << WideToAnsi(Boxes.Shown[0].Text);
  Form->SelectedSample()->StreamFile()->SaveToFile(Dir.File("stored.asf"));
  EXPECT_EQ(Magic(Dir.File("stored.asf")), "SCHl");
  Form->actSampleExportDialog.FileName = DialogText(Export);
  Form->actSampleExportDialog.FilterIndex = 7;
  Form->actSampleExportAccept();
  EXPECT_TRUE(Boxes.Shown.empty());
  ASSERT_TRUE(fs::is_regular_file(Export));
  std::ifstream In(Export, std::ios::binary);
  char Head[4] = {};
  In.read(Head, 4);
  EXPECT_EQ(std::string(Head, 4), "FORM");
  // The song kept for the unsaved import goes with the discard.
  Boxes.Answers = {TMsgResult::No};
  EXPECT_TRUE(Form->TntFormCloseQuery());
  EXPECT_TRUE(Dir.ScratchFiles().empty());
}

#endif
