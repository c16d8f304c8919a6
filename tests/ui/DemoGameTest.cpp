// The demo game end to end through the real window, the real converter and the registry: open, preview,
// export a song to Wave, import that Wave in place of another song, save with the preload update on the
// proposed folder, and open again.

#include "app/SystemRegistry.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "converter/Converter.h"
#include "tests/app/ScriptedServices.h"
#include "tests/fixtures/RefPack.h"
#include "tests/fixtures/TestFiles.h"
#include "tools/make-demo/Demo.h"
#include "ui/ErrorGuard.h"
#include "ui/MainWindow.h"
#include "ui/MessageLoop.h"
#include "ui/PaintingConverterRunner.h"

#include <gtest/gtest.h>
#include <optional>

using namespace fixtures;

namespace {

const char* const GameKey = "SOFTWARE\\EA SPORTS\\ORVIK";

// The game's registry entry, where its 32-bit installer writes it, for the length of a test; what was
// there before comes back afterwards.
class TInstallDirEntry {
public:
  explicit TInstallDirEntry(const std::string& Folder) {
    HKEY Key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, GameKey, 0, KEY_READ | KEY_WOW64_32KEY, &Key) == ERROR_SUCCESS) {
      char Old[1024] = {};
      DWORD Size = sizeof Old - 1;
      if (::RegQueryValueExA(Key, "Install Dir", nullptr, nullptr, reinterpret_cast<BYTE*>(Old), &Size) ==
          ERROR_SUCCESS)
        FOld = Old;
      ::RegCloseKey(Key);
    }
    Set(Folder);
  }
  ~TInstallDirEntry() {
    if (FOld)
      Set(*FOld);
    else
      ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, GameKey, KEY_WOW64_32KEY, 0);
  }

private:
  static void Set(const std::string& Value) {
    HKEY Key;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, GameKey, 0, nullptr, 0, KEY_WRITE | KEY_WOW64_32KEY, nullptr,
                                &Key, nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExA(Key, "Install Dir", 0, REG_SZ, reinterpret_cast<const BYTE*>(Value.c_str()),
                     static_cast<DWORD>(Value.size() + 1));
    ::RegCloseKey(Key);
  }
  std::optional<std::string> FOld;
};

Bytes EntryBytes(TEAStreamFile& File) {
  TMemoryStream Out;
  File.SaveToStream(Out);
  return Out.Bytes();
}

bool Audible(const Bytes& Song) {
  sx::TAudio Audio = sx::ReadAudio(Song);
  int64_t Loud = 0;
  for (int16_t S : Audio.Samples)
    Loud += S > 1000 || S < -1000;
  return Audio.Frames() >= Audio.SampleRate && Loud > static_cast<int64_t>(Audio.Samples.size() / 10);
}

class DemoGameTest : public ::testing::Test {
protected:
  DemoGameTest() {
    demo::MakeDemo(Demo);
    TServices Services;
    Services.MessageBoxes = &Boxes;
    Services.InputQuery = &Input;
    Services.Dialogs = &Dialogs;
    Services.Screen = &Screen;
    Services.Registry = &Registry;
    Services.Sound = &Sound;
    Services.Converter = &Runner;
    Services.ProgramFolder = JoinPath(ExtractFilePath(ProgramPath()), "real") + "\\";
    ui::SetErrorReportBoxes(&Boxes);
    FWindow = std::make_unique<ui::TMainWindow>(Services);
    ::ShowWindow(FWindow->Handle(), SW_SHOW);
    Pump();
  }
  ~DemoGameTest() override {
    FWindow.reset();
    ui::SetErrorReportBoxes(nullptr);
  }
  static std::string ProgramPath() {
    char Path[MAX_PATH];
    ::GetModuleFileNameA(nullptr, Path, MAX_PATH);
    return Path;
  }
  void Pump() {
    int ExitCode = 0;
    ui::ProcessMessages(*FWindow, ExitCode);
  }
  void Command(const TActionModel& Action) {
    ::SendMessageW(FWindow->Handle(), WM_COMMAND, MAKEWPARAM(FWindow->Actions().CommandOf(Action), 0), 0);
    Pump();
  }
  void Select(std::initializer_list<int> Path) {
    HTREEITEM Item = nullptr;
    HWND Tree = FWindow->Controls().treeFiles;
    for (int Index : Path) {
      Item = Item == nullptr ? TreeView_GetRoot(Tree) : TreeView_GetChild(Tree, Item);
      for (int I = 0; I < Index; ++I)
        Item = TreeView_GetNextSibling(Tree, Item);
    }
    TreeView_SelectItem(Tree, Item);
    Pump();
  }
  void Open() {
    Dialogs.OpenAnswers.push_back(AnsiToWide(Definition));
    Command(Form().actFileOpen);
  }
  TfrmORVStreams& Form() { return FWindow->Form(); }

  TempDir Dir;
  std::string Demo = Dir.File("demo");
  std::string Definition = JoinPath(JoinPath(Demo, "audio"), "streams.dat");
  std::string Preload = JoinPath(Demo, "preload");
  TInstallDirEntry Entry{Demo + "\\"};
  TScriptedMessageBoxes Boxes;
  TScriptedInputQuery Input;
  TScriptedDialogs Dialogs;
  TScriptedScreen Screen;
  TSystemRegistry Registry;
  TScriptedSound Sound;
  ui::TPaintingConverterRunner Runner;

private:
  std::unique_ptr<ui::TMainWindow> FWindow;
};

} // namespace

TEST_F(DemoGameTest, PreviewExportImportSaveWithThePreloadUpdateAndOpenAgain) {
  Open();
  ASSERT_TRUE(Boxes.Shown.empty()) << WideToAnsi(Boxes.Shown[0].Text);
  ASSERT_EQ(Form().Pack()->StreamCount(), 4);

  Select({0, 0, 1}); // Team Sheet
  Command(Form().actSamplePreview);
  ASSERT_TRUE(Form().PreviewPlaying());
  EXPECT_TRUE(Audible(ReadFile(Sound.Playing))) << "the preview is silent";
  Command(Form().actSamplePreview);

  Select({0, 0, 0}); // Kick Off
  std::string Exported = Dir.File("Kick Off.wav");
  Dialogs.SaveAnswer = {{AnsiToWide(Exported), 1}};
  Command(Form().actSampleExport);
  ASSERT_TRUE(FileExists(Exported));
  EXPECT_EQ(sx::DetectInput(ReadFile(Exported)), sx::TInputKind::Wave);
  EXPECT_TRUE(Audible(ReadFile(Exported)));

  Select({1, 0, 0}); // Warm Up, in ingame.big
  TStreamData* Target = Form().SelectedSample();
  Bytes Before = EntryBytes(*Target->StreamFile());
  Dialogs.OpenAnswers.push_back(AnsiToWide(Exported));
  Command(Form().actSampleImport);
  ASSERT_TRUE(Boxes.Shown.empty()) << WideToAnsi(Boxes.Shown[0].Text);
  Bytes Imported = EntryBytes(*Target->StreamFile());
  EXPECT_NE(Imported, Before);
  EXPECT_TRUE(Audible(Imported));

  Boxes.Answers = {TMsgResult::Yes};
  Dialogs.FolderAnswer = Preload;
  Command(Form().actFileSave);
  ASSERT_EQ(Dialogs.FolderSeen.size(), 1u) << "the preload question was not asked";
  EXPECT_EQ(Dialogs.FolderSeen[0].Folder, Preload) << "the demo's preload folder was not proposed";
  ASSERT_EQ(Boxes.Shown.size(), 1u) << WideToAnsi(Boxes.Shown.back().Text);
  EXPECT_FALSE(Form().DefinitionChanged());

  Open();
  ASSERT_EQ(Boxes.Shown.size(), 1u) << WideToAnsi(Boxes.Shown.back().Text);
  Select({1, 0, 0});
  EXPECT_EQ(EntryBytes(*Form().SelectedSample()->StreamFile()), Imported) << "the imported song is gone";
  for (const char* Name : {"faudio.viv", "gaudio.viv", "gaudiofa.viv"}) {
    TEAStream Archive;
    Archive.LoadFromFile(JoinPath(Preload, Name));
    for (int32_t I = 0; I < Archive.FileCount(); ++I) {
      if (Archive.Files(I)->Name == "streams.dat") {
        EXPECT_EQ(RefPackDecode(EntryBytes(*Archive.Files(I))), ReadFile(Definition)) << Name;
      }
    }
  }
}

TEST_F(DemoGameTest, AFileTheConverterCannotReadIsRefusedWithTheConvertersReason) {
  Open();
  Select({0, 0, 0});
  std::string Broken = Dir.File("broken.wav");
  WriteFile(Broken, TextBytes("RIFF"));
  Dialogs.OpenAnswers.push_back(AnsiToWide(Broken));
  Command(Form().actSampleImport);
  ASSERT_EQ(Boxes.Shown.size(), 1u);
  EXPECT_EQ(Boxes.Shown[0].Text,
            L"Unable to convert the input file\r\nsx: The input is not a known sound format");
  EXPECT_FALSE(Form().ArchivesChanged());
}
