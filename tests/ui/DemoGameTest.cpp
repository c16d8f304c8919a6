// The demo game end to end through the real window, the real converter and the registry: open, preview,
// export a song to Wave, import that Wave in place of another song, save with the preload update on the
// proposed folder, and open again.

#include "app/SystemRegistry.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "converter/Converter.h"
#include "converter/formats/WaveWriter.h"
#include "platform/FileSystem.h"
#include "tests/app/GatedProcess.h"
#include "tests/app/ScriptedServices.h"
#include "tests/fixtures/RefPack.h"
#include "tests/fixtures/TestFiles.h"
#include "tests/ui/UiFixture.h"
#include "tools/make-demo/Demo.h"
#include "ui/BatchWindow.h"
#include "ui/ErrorGuard.h"
#include "ui/LevelsWindow.h"
#include "ui/MainWindow.h"
#include "ui/MessageLoop.h"
#include "ui/PaintingConverterRunner.h"
#include "ui/Resources.h"
#include "ui/WinServices.h"
#include "workflows/Converter.h"
#include "workflows/KeptOriginals.h"
#include "workflows/SongPicture.h"
#include "workflows/SoundtrackPack.h"

#include <cmath>
#include <gtest/gtest.h>
#include <optional>
#include <shlobj.h>

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
    ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, GameKey, 0, nullptr, 0, KEY_WRITE | KEY_WOW64_32KEY,
                                nullptr, &Key, nullptr),
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
    Services.BatchWindow = &BatchWindow;
    Services.LevelsWindow = &LevelsWindow;
    Services.ConverterProcess = &Process;
    Services.ShapeDialog = &ShapeDialog;
    Services.ProgramFolder = RealFolder;
    ui::SetErrorReportBoxes(&Boxes);
    FWindow = std::make_unique<ui::TMainWindow>(Services);
    BatchWindow.Owner = FWindow->Handle();
    LevelsWindow.Owner = FWindow->Handle();
    ::ShowWindow(FWindow->Handle(), SW_SHOW);
    Pump();
  }
  ~DemoGameTest() override {
    Process.OpenGate();
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
  ui::TWinBatchWindow BatchWindow;
  ui::TWinLevelsWindow LevelsWindow;
  ui::TWinShapeDialog ShapeDialog;
  std::string RealFolder = JoinPath(ExtractFilePath(ProgramPath()), "real") + "\\";
  TGatedProcess Process{RealFolder};

protected:
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
  Boxes.Answers = {TMsgResult::No}; // the first change: the original music is not kept
  Command(Form().actSampleImport);
  ASSERT_EQ(Boxes.Shown.size(), 1u) << WideToAnsi(Boxes.Shown.back().Text);
  EXPECT_NE(Boxes.Shown[0].Text.find(L"original music"), std::wstring::npos);
  Boxes.Shown.clear();
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
  TKeptOriginals(Definition, "").Decline();
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

// Through the window's menu: the first change keeps the original music, a pack of the change is
// exported, the original music is restored byte for byte, and the pack brings the change back.
TEST_F(DemoGameTest, TheOriginalMusicIsKeptAndRestoredAndAPackBringsTheChangeBack) {
  auto Files = [&] {
    std::vector<Bytes> All;
    for (const std::string& Folder : {JoinPath(Demo, "audio"), Preload})
      for (const char* Name : {"streams.dat", "frontend.big", "ingame.big", "replay.big", "faudio.viv",
                               "gaudio.viv", "gaudiofa.viv"})
        if (FileExists(JoinPath(Folder, Name)))
          All.push_back(ReadFile(JoinPath(Folder, Name)));
    return All;
  };
  const std::vector<Bytes> Original = Files();
  Open();
  Select({0, 0, 0});
  Form().edtName.UserType(L"Renamed Kick Off");
  Pump();
  Boxes.Answers = {TMsgResult::Yes, TMsgResult::No}; // keep the original music; no preload update
  Command(Form().actFileSave);
  ASSERT_EQ(Boxes.Shown.size(), 2u) << WideToAnsi(Boxes.Shown.back().Text);
  TKeptOriginals Originals(Definition, DefaultPreloadFolder(Definition));
  ASSERT_EQ(Originals.State(), TKeptState::Kept);
  EXPECT_NE(Files(), Original);

  std::string PackPath = Dir.File("renamed.orvikpack");
  Dialogs.SaveAnswer = {{AnsiToWide(PackPath), 1}};
  Command(Form().actFileExportPack);
  ASSERT_TRUE(FileExists(PackPath));
  // The renamed sample, and those that share its description: not the whole game.
  size_t Packed = ReadPack(PackPath)->Manifest.Samples.size();
  EXPECT_TRUE(Packed >= 1 && Packed < 4) << Packed;

  Boxes.Answers = {TMsgResult::Yes};
  Command(Form().actFileRestoreOriginal);
  ASSERT_EQ(Boxes.Shown.size(), 3u);
  EXPECT_EQ(Files(), Original);
  ASSERT_NE(Form().Pack(), nullptr) << "the definition is open again";
  EXPECT_EQ(Form().StatusBar.Text(), L"The original music is back.");

  Dialogs.OpenAnswers.push_back(AnsiToWide(PackPath));
  Boxes.Answers = {TMsgResult::Yes};
  Command(Form().actFileApplyPack);
  ASSERT_EQ(Boxes.Shown.size(), 4u);
  EXPECT_NE(Boxes.Shown[3].Text.find(L"Renamed Kick Off"), std::wstring::npos)
      << WideToAnsi(Boxes.Shown[3].Text);
  EXPECT_TRUE(Form().DefinitionChanged());
  Select({0, 0, 0});
  EXPECT_EQ(Form().edtName.Text(), L"Renamed Kick Off");
}

namespace {

// Two seconds of a sine, as a Wave file.
Bytes SineWave(double Hz, double Amplitude) {
  sx::TAudio Audio;
  Audio.SampleRate = 22050;
  Audio.Channels = 1;
  for (int I = 0; I < 44100; ++I)
    Audio.Samples.push_back(
        static_cast<int16_t>(32767 * Amplitude * std::sin(2 * 3.14159265358979 * Hz * I / 22050)));
  return sx::WriteWave(Audio);
}

// Files dropped from Explorer: a DROPFILES block with the paths, dropped at Point of the window's client
// area.
void DropFiles(HWND Window, const std::vector<std::wstring>& Paths, POINT Point) {
  std::wstring List;
  for (const std::wstring& Path : Paths)
    List += Path + L'\0';
  List += L'\0';
  HGLOBAL Block =
      ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + List.size() * sizeof(wchar_t));
  auto* Drop = static_cast<DROPFILES*>(::GlobalLock(Block));
  Drop->pFiles = sizeof(DROPFILES);
  Drop->pt = Point;
  Drop->fWide = TRUE;
  std::copy(List.begin(), List.end(), reinterpret_cast<wchar_t*>(Drop + 1));
  ::GlobalUnlock(Block);
  ::SendMessageW(Window, WM_DROPFILES, reinterpret_cast<WPARAM>(Block), 0);
}

std::vector<std::wstring> ListRow(HWND List, int Row, int Columns = 7) {
  std::vector<std::wstring> Texts;
  for (int Column = 0; Column < Columns; ++Column) {
    wchar_t Text[1024] = {};
    LVITEMW Item{};
    Item.iSubItem = Column;
    Item.pszText = Text;
    Item.cchTextMax = 1024;
    ::SendMessageW(List, LVM_GETITEMTEXTW, Row, reinterpret_cast<LPARAM>(&Item));
    Texts.push_back(Text);
  }
  return Texts;
}

// The tree view's item whose node holds Data, below Parent (the roots when null), depth first.
HTREEITEM ItemOf(HWND Tree, const void* Data, HTREEITEM Parent = nullptr) {
  for (HTREEITEM Item = Parent == nullptr ? TreeView_GetRoot(Tree) : TreeView_GetChild(Tree, Parent);
       Item != nullptr; Item = TreeView_GetNextSibling(Tree, Item)) {
    TVITEMW Node{};
    Node.mask = TVIF_PARAM;
    Node.hItem = Item;
    TreeView_GetItem(Tree, &Node);
    if (reinterpret_cast<TTreeNode*>(Node.lParam)->Data == Data)
      return Item;
    if (HTREEITEM Found = ItemOf(Tree, Data, Item))
      return Found;
  }
  return nullptr;
}

// A click on a button of the batch window, as it arrives there.
void PressButton(HWND Window, int Button) {
  ::PostMessageW(Window, WM_COMMAND, MAKEWPARAM(Button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(Window, Button)));
}

// A user at the batch window, one step per timer tick: Import is pressed; once the song of row CancelAfter
// is in, Cancel, and the gate of the held songs opens; once the window offers Close, the list is read and
// Close pressed. Meanwhile the list is made to repaint each tick, to see that the window keeps painting.
struct TBatchUser {
  TGatedProcess* Process = nullptr;
  int CancelAfter = 0;
  int Step = 0, Ticks = 0, Painted = 0, Unpainted = 0;
  std::vector<std::vector<std::wstring>> Before, After;
  std::wstring Status, Close;
};
TBatchUser* User = nullptr;

void CALLBACK PlayBatchUser(HWND, UINT, UINT_PTR, DWORD) {
  TBatchUser& U = *User;
  HWND Window = ::FindWindowW(ui::BatchWindowClass, nullptr);
  if (Window == nullptr || U.Step > 2)
    return;
  HWND List = ::GetDlgItem(Window, ui::IDC_BATCH_LIST);
  int Rows = static_cast<int>(::SendMessageW(List, LVM_GETITEMCOUNT, 0, 0));
  auto Press = [Window](int Button) { PressButton(Window, Button); };
  if (++U.Ticks > 2400) { // a batch that never ends fails the test instead of hanging it
    U.Process->OpenGate();
    Press(IDCANCEL);
    return;
  }
  if (U.Step == 0) {
    for (int Row = 0; Row < Rows; ++Row)
      U.Before.push_back(ListRow(List, Row));
    Press(IDOK);
    U.Step = 1;
    return;
  }
  RECT Update;
  (::GetUpdateRect(List, &Update, FALSE) ? U.Unpainted : U.Painted)++;
  ::InvalidateRect(List, nullptr, TRUE);
  if (U.Step == 1 && ListRow(List, U.CancelAfter)[6].rfind(L"Added as ", 0) == 0) {
    Press(IDCANCEL);
    U.Process->OpenGate();
    U.Step = 2;
  } else if (U.Step == 2 && WindowText(::GetDlgItem(Window, IDCANCEL)) == L"Close") {
    for (int Row = 0; Row < Rows; ++Row)
      U.After.push_back(ListRow(List, Row));
    U.Status = WindowText(::GetDlgItem(Window, ui::IDC_BATCH_STATUS));
    Press(IDCANCEL);
    U.Step = 3;
  }
}

} // namespace

TEST_F(DemoGameTest, ABatchDroppedOnASampleFillsItsStreamListsTheBrokenFileAndStopsOnCancel) {
  Open();
  TEAMusicStream& Stream = *Form().Pack()->Streams(1);
  const int32_t Samples = Stream.SampleCount();
  ASSERT_GE(Samples, 2);
  std::vector<std::wstring> Paths;
  for (const char* Name : {"5 e.wav", "1 a.wav", "2 broken.wav", "3 b.wav", "4 held.wav"}) {
    std::string Path = Dir.File(Name);
    WriteFile(Path, std::string(Name).find("broken") != std::string::npos
                        ? TextBytes("RIFF")
                        : SineWave(300 + 50 * Name[0], 0.2));
    Paths.push_back(AnsiToWide(Path));
  }
  // Dropped on the stream's last sample but one: two songs replaced, the rest added after it.
  HWND Tree = FWindow->Controls().treeFiles;
  HTREEITEM Target = ItemOf(Tree, Stream.Samples(Samples - 2));
  ASSERT_NE(Target, nullptr);
  TreeView_EnsureVisible(Tree, Target);
  RECT Rect;
  *reinterpret_cast<HTREEITEM*>(&Rect) = Target;
  ASSERT_TRUE(::SendMessageW(Tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&Rect)));
  POINT Point{(Rect.left + Rect.right) / 2, (Rect.top + Rect.bottom) / 2};
  ::MapWindowPoints(Tree, FWindow->Handle(), &Point, 1);

  auto Archives = [&] {
    std::vector<Bytes> All;
    for (const char* Name : {"frontend.big", "ingame.big", "replay.big"})
      All.push_back(ReadFile(JoinPath(JoinPath(Demo, "audio"), Name)));
    return All;
  };
  const std::vector<Bytes> ArchivesBefore = Archives();
  TKeptOriginals(Definition, "").Decline();
  Process.Held = "held";
  TBatchUser Script;
  Script.Process = &Process;
  Script.CancelAfter = 2;
  User = &Script;
  UINT_PTR Timer = ::SetTimer(nullptr, 0, 50, &PlayBatchUser);
  DropFiles(FWindow->Handle(), Paths, Point);
  ::KillTimer(nullptr, Timer);
  User = nullptr;
  Pump();
  ASSERT_TRUE(Boxes.Shown.empty()) << WideToAnsi(Boxes.Shown[0].Text);

  ASSERT_EQ(Script.Before.size(), 5u);
  const wchar_t* Order[] = {L"1 a.wav", L"2 broken.wav", L"3 b.wav", L"4 held.wav", L"5 e.wav"};
  for (size_t I = 0; I < 5; ++I) {
    EXPECT_EQ(Script.Before[I][0], Order[I]);
    EXPECT_EQ(Script.Before[I][6], L"Waiting");
  }
  ASSERT_EQ(Script.After.size(), 5u) << "the window did not come to Close";
  EXPECT_EQ(Script.After[0][6].rfind(L"Replaced ", 0), 0u) << WideToAnsi(Script.After[0][6]);
  EXPECT_EQ(Script.After[1][6].rfind(L"Failed: ", 0), 0u);
  EXPECT_NE(Script.After[1][6].find(L"not a known sound format"), std::wstring::npos)
      << WideToAnsi(Script.After[1][6]);
  EXPECT_EQ(Script.After[2][6].rfind(L"Added as 3 b.asf", 0), 0u) << WideToAnsi(Script.After[2][6]);
  // Both workers had a song in hand when Cancel came: each is finished, as the window said it would be.
  EXPECT_EQ(Script.After[3][6].rfind(L"Added as 4 held.asf", 0), 0u) << WideToAnsi(Script.After[3][6]);
  EXPECT_EQ(Script.After[4][6].rfind(L"Added as 5 e.asf", 0), 0u) << WideToAnsi(Script.After[4][6]);
  for (size_t I : {0u, 2u, 3u, 4u})
    EXPECT_FALSE(Script.After[I][4].empty() || Script.After[I][5].empty()) << "loudness and gain are listed";
  EXPECT_EQ(Script.Status, L"Imported 4 of 5 file(s); 1 failed; stopped by Cancel.");
  EXPECT_GT(Script.Painted, 3) << "the list did not repaint while the batch ran";
  EXPECT_EQ(Script.Unpainted, 0);
  EXPECT_EQ(Stream.SampleCount(), Samples + 3);
  EXPECT_TRUE(::IsWindowEnabled(FWindow->Handle()));

  // Ctrl+Z takes the whole batch back, files and tree, and Ctrl+Y makes it again; the Edit menu names it.
  auto MenuText = [&](const TActionModel& Action) {
    wchar_t Text[128] = {};
    ::GetMenuStringW(::GetMenu(FWindow->Handle()), FWindow->Actions().CommandOf(Action), Text, 128,
                     MF_BYCOMMAND);
    return std::wstring(Text);
  };
  auto StreamRows = [&] { // the samples under the stream's node, in its groups
    HTREEITEM Group = TreeView_GetChild(Tree, TreeView_GetNextSibling(Tree, TreeView_GetRoot(Tree)));
    int Rows = 0;
    for (; Group != nullptr; Group = TreeView_GetNextSibling(Tree, Group))
      for (HTREEITEM Item = TreeView_GetChild(Tree, Group); Item != nullptr;
           Item = TreeView_GetNextSibling(Tree, Item))
        ++Rows;
    return Rows;
  };
  auto Press = [&](WPARAM Key) {
    BYTE Keys[256];
    ::GetKeyboardState(Keys);
    Keys[VK_CONTROL] = 0x80;
    ::SetKeyboardState(Keys);
    ::PostMessageW(Tree, WM_KEYDOWN, Key, 1);
    Pump();
    Keys[VK_CONTROL] = 0;
    ::SetKeyboardState(Keys);
  };
  Form().ApplicationEventsIdle();
  EXPECT_EQ(MenuText(Form().actEditUndo), L"&Undo Import of 5 Songs\tCtrl+Z")
      << WideToAnsi(MenuText(Form().actEditUndo));
  Press('Z');
  EXPECT_EQ(Stream.SampleCount(), Samples);
  EXPECT_EQ(StreamRows(), Samples);
  EXPECT_EQ(Archives(), ArchivesBefore);
  Form().ApplicationEventsIdle();
  EXPECT_EQ(MenuText(Form().actEditRedo), L"&Redo Import of 5 Songs\tCtrl+Y")
      << WideToAnsi(MenuText(Form().actEditRedo));
  EXPECT_FALSE(Form().actEditUndo.Enabled());
  Press('Y');
  EXPECT_EQ(Stream.SampleCount(), Samples + 3);
  EXPECT_EQ(StreamRows(), Samples + 3);
  ASSERT_TRUE(Boxes.Shown.empty()) << WideToAnsi(Boxes.Shown[0].Text);

  Boxes.Answers = {TMsgResult::No};
  Command(Form().actFileSave);
  EXPECT_FALSE(Form().DefinitionChanged() || Form().ArchivesChanged());
  Open();
  EXPECT_EQ(Form().Pack()->Streams(1)->SampleCount(), Samples + 3);
}

namespace {

// A user at the batch window: Import pressed; once it offers Close, the mouse rests on the "Goes to" and
// the "Result" cell of the first row, the tool tip's text is read for each, and Close pressed.
struct TTipReader {
  int Step = 0, Ticks = 0;
  std::vector<std::wstring> Cells, Tips;
};
TTipReader* Reader = nullptr;

void CALLBACK ReadCellTips(HWND, UINT, UINT_PTR, DWORD) {
  TTipReader& R = *Reader;
  HWND Window = ::FindWindowW(ui::BatchWindowClass, nullptr);
  if (Window == nullptr || R.Step > 1)
    return;
  auto Press = [Window](int Button) { PressButton(Window, Button); };
  if (R.Step == 0) {
    Press(IDOK);
    R.Step = 1;
    return;
  }
  if (WindowText(::GetDlgItem(Window, IDCANCEL)) != L"Close" && ++R.Ticks < 2400)
    return;
  HWND List = ::GetDlgItem(Window, ui::IDC_BATCH_LIST);
  HWND Tip = nullptr;
  for (HWND Owned = ::FindWindowExW(nullptr, nullptr, TOOLTIPS_CLASSW, nullptr); Owned != nullptr && !Tip;
       Owned = ::FindWindowExW(nullptr, Owned, TOOLTIPS_CLASSW, nullptr))
    if (::GetWindow(Owned, GW_OWNER) == Window)
      Tip = Owned;
  for (int Column : {1, 6}) {
    RECT Cell{};
    Cell.top = Column;
    Cell.left = LVIR_BOUNDS;
    ::SendMessageW(List, LVM_GETSUBITEMRECT, 0, reinterpret_cast<LPARAM>(&Cell));
    ::SendMessageW(List, WM_MOUSEMOVE, 0, MAKELPARAM(Cell.left + 4, (Cell.top + Cell.bottom) / 2));
    R.Cells.push_back(ListRow(List, 0)[static_cast<size_t>(Column)]);
    wchar_t Text[1024] = {};
    TTTOOLINFOW Tool{};
    Tool.cbSize = sizeof Tool;
    Tool.hwnd = Window;
    Tool.uId = reinterpret_cast<UINT_PTR>(List);
    Tool.lpszText = Text;
    if (Tip != nullptr)
      ::SendMessageW(Tip, TTM_GETTEXTW, std::size(Text), reinterpret_cast<LPARAM>(&Tool));
    R.Tips.push_back(Text);
  }
  Press(IDCANCEL);
  R.Step = 2;
}

} // namespace

namespace {

// A user at the batch window who trims and fades the second song: its row selected, Trim and Fade...
// pressed, an end and a fade typed in the dialog and OK pressed; then Import, and Close at the end.
struct TShapeUser {
  int Step = 0, Ticks = 0;
  std::wstring Lengths;
  std::vector<std::wstring> Shaped, After;
};
TShapeUser* Shaper = nullptr;

void CALLBACK PlayShapeUser(HWND, UINT, UINT_PTR, DWORD) {
  TShapeUser& U = *Shaper;
  HWND Window = ::FindWindowW(ui::BatchWindowClass, nullptr);
  HWND Dialog = ::FindWindowW(L"#32770", L"Trim and Fade");
  if (Window == nullptr || U.Step > 3)
    return;
  HWND List = ::GetDlgItem(Window, ui::IDC_BATCH_LIST);
  if (++U.Ticks > 2400) { // a window that never gets there fails the test instead of hanging it
    if (Dialog != nullptr)
      ::PostMessageW(Dialog, WM_COMMAND, IDCANCEL, 0);
    PressButton(Window, IDCANCEL);
    return;
  }
  if (U.Step == 0) {
    LVITEMW Item{};
    Item.stateMask = Item.state = LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageW(List, LVM_SETITEMSTATE, 1, reinterpret_cast<LPARAM>(&Item));
    PressButton(Window, ui::IDC_BATCH_ROWACTION);
    U.Step = 1;
  } else if (U.Step == 1 && Dialog != nullptr) {
    U.Lengths = WindowText(::GetDlgItem(Dialog, IDC_SHAPE_LENGTH));
    ::SetDlgItemTextW(Dialog, IDC_SHAPE_END, L"1.5");
    ::SetDlgItemTextW(Dialog, IDC_SHAPE_FADE, L"0.5");
    ::PostMessageW(Dialog, WM_COMMAND, IDOK, 0);
    U.Step = 2;
  } else if (U.Step == 2 && Dialog == nullptr) {
    for (int Row = 0; Row < 3; ++Row)
      U.Shaped.push_back(ListRow(List, Row)[3]);
    PressButton(Window, IDOK);
    U.Step = 3;
  } else if (U.Step == 3 && WindowText(::GetDlgItem(Window, IDCANCEL)) == L"Close") {
    for (int Row = 0; Row < 3; ++Row)
      U.After.push_back(ListRow(List, Row)[6]);
    PressButton(Window, IDCANCEL);
    U.Step = 4;
  }
}

} // namespace

// Trim and Fade... in the real batch window: the song of the row selected goes into the archive as long as
// the end typed asks, the others whole.
TEST_F(DemoGameTest, TrimAndFadeShortensTheSelectedSongAlone) {
  Open();
  TKeptOriginals(Definition, "").Decline();
  TEAMusicStream& Stream = *Form().Pack()->Streams(1);
  std::vector<std::wstring> Songs;
  for (const char* Name : {"1 a.wav", "2 b.wav", "3 c.wav"}) {
    WriteFile(Dir.File(Name), SineWave(440, 0.3));
    Songs.push_back(AnsiToWide(Dir.File(Name)));
  }
  HWND Tree = FWindow->Controls().treeFiles;
  TreeView_SelectItem(Tree, ItemOf(Tree, &Stream));
  Pump();
  Dialogs.OpenManyAnswers.push_back(Songs);
  TShapeUser Script;
  Shaper = &Script;
  UINT_PTR Timer = ::SetTimer(nullptr, 0, 50, &PlayShapeUser);
  Command(Form().actStreamImportSongs);
  ::KillTimer(nullptr, Timer);
  Shaper = nullptr;
  ASSERT_TRUE(Boxes.Shown.empty()) << WideToAnsi(Boxes.Shown[0].Text);

  EXPECT_EQ(Script.Lengths, L"Length of \"2 b.wav\": 0:02");
  EXPECT_EQ(Script.Shaped, (std::vector<std::wstring>{L"", L"0:00-0:01.5, fade 0.5 s", L""}));
  ASSERT_EQ(Script.After.size(), 3u) << "the window did not come to Close";
  TConverter Converter(Process);
  const double Seconds[] = {2, 1.5, 2};
  for (size_t I = 0; I < 3; ++I) {
    SCOPED_TRACE(WideToAnsi(Script.After[I]));
    TStreamData* Sample = Stream.Samples(Stream.SampleCount() - 3 + static_cast<int32_t>(I));
    ASSERT_EQ(Script.After[I].rfind(L"Added as " + AnsiToWide(Sample->StreamFile()->Name), 0), 0u);
    const std::string Song = Dir.File("imported.asf");
    WriteFile(Song, EntryBytes(*Sample->StreamFile()));
    TMeasureReport Measured = Converter.Measure({Song})[0];
    ASSERT_TRUE(Measured.Error.empty()) << Measured.Error;
    EXPECT_NEAR(Measured.Seconds, Seconds[I], 0.001);
  }
}

// A second copy of the game, beside the registered one: an empty stream is filled from the Stream menu
// through the batch window, whose list shows each cell's whole text in a tool tip; the tree keeps what the
// user expanded and selects the first new sample; the save proposes this copy's own preload folder.
TEST_F(DemoGameTest, ASecondCopyFillsAnEmptyStreamFromTheMenuAndProposesItsOwnPreload) {
  const std::string Copy = Dir.File("copy");
  demo::MakeDemo(Copy);
  Definition = JoinPath(JoinPath(Copy, "audio"), "streams.dat");
  Open();
  TKeptOriginals(Definition, "").Decline();
  TStreamPack& Pack = *Form().Pack();
  TEAMusicStream& Empty = *Pack.Streams(0);
  while (Empty.SampleCount() > 0)
    Empty.RemoveSample(Empty.Samples(0));
  Form().RebuildTree();
  Pump();
  HWND Tree = FWindow->Controls().treeFiles;
  TreeView_Expand(Tree, ItemOf(Tree, Pack.Streams(1)), TVE_EXPAND);
  TreeView_SelectItem(Tree, ItemOf(Tree, &Empty));
  Pump();

  std::vector<std::wstring> Songs;
  for (const char* Name : {"2 b.wav", "1 a.wav"}) {
    WriteFile(Dir.File(Name), SineWave(440, 0.2));
    Songs.push_back(AnsiToWide(Dir.File(Name)));
  }
  Dialogs.OpenManyAnswers.push_back(Songs);
  TTipReader Script;
  Reader = &Script;
  UINT_PTR Timer = ::SetTimer(nullptr, 0, 50, &ReadCellTips);
  Command(Form().actStreamImportSongs);
  ::KillTimer(nullptr, Timer);
  Reader = nullptr;
  ASSERT_TRUE(Boxes.Shown.empty()) << WideToAnsi(Boxes.Shown[0].Text);

  ASSERT_EQ(Script.Tips.size(), 2u);
  EXPECT_EQ(Script.Cells[0].rfind(L"Stream 0, sample 0 (new, in ", 0), 0u) << WideToAnsi(Script.Cells[0]);
  EXPECT_EQ(Script.Cells[1].rfind(L"Added as 1 a.asf", 0), 0u) << WideToAnsi(Script.Cells[1]);
  EXPECT_EQ(Script.Tips, Script.Cells);
  ASSERT_EQ(Empty.SampleCount(), 2);
  EXPECT_EQ(Form().SelectedSample(), Empty.Samples(0));
  EXPECT_TRUE(TreeView_GetItemState(Tree, ItemOf(Tree, Pack.Streams(1)), TVIS_EXPANDED) & TVIS_EXPANDED)
      << "the batch collapsed the tree";

  // The registry names the other copy; the question and the dialog name this one's preload folder.
  Boxes.Answers = {TMsgResult::Yes};
  Command(Form().actFileSave);
  const std::string Own = JoinPath(Copy, "preload");
  ASSERT_FALSE(Boxes.Shown.empty());
  EXPECT_NE(Boxes.Shown.back().Text.find(AnsiToWide(Own)), std::wstring::npos)
      << WideToAnsi(Boxes.Shown.back().Text);
  ASSERT_EQ(Dialogs.FolderSeen.size(), 1u);
  EXPECT_EQ(Dialogs.FolderSeen[0].Folder, Own);
}

namespace {

// A user at the soundtrack's batch window: Wave chosen in the format list, Export pressed, and once it
// offers Close, the list and the status read and Close pressed.
struct TExportUser {
  int Step = 0, Ticks = 0;
  std::vector<std::vector<std::wstring>> Rows;
  std::wstring Status, Format;
};
TExportUser* Exporter = nullptr;

void CALLBACK PlayExportUser(HWND, UINT, UINT_PTR, DWORD) {
  TExportUser& U = *Exporter;
  HWND Window = ::FindWindowW(ui::BatchWindowClass, nullptr);
  if (Window == nullptr || U.Step > 1)
    return;
  if (U.Step == 0) {
    HWND Formats = ::GetDlgItem(Window, ui::IDC_BATCH_CHOICE);
    ::SendMessageW(Formats, CB_SETCURSEL, 1, 0);
    ::SendMessageW(Window, WM_COMMAND, MAKEWPARAM(ui::IDC_BATCH_CHOICE, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(Formats));
    U.Format = WindowText(Formats);
    PressButton(Window, IDOK);
    U.Step = 1;
    return;
  }
  if (WindowText(::GetDlgItem(Window, IDCANCEL)) != L"Close" && ++U.Ticks < 2400)
    return;
  HWND List = ::GetDlgItem(Window, ui::IDC_BATCH_LIST);
  for (int Row = 0; Row < static_cast<int>(::SendMessageW(List, LVM_GETITEMCOUNT, 0, 0)); ++Row)
    U.Rows.push_back(ListRow(List, Row));
  U.Status = WindowText(::GetDlgItem(Window, ui::IDC_BATCH_STATUS));
  PressButton(Window, IDCANCEL);
  U.Step = 2;
}

} // namespace

// File > Export Soundtrack... in the real batch window: the format chosen in its list, every song written
// under its title, the playlists beside them.
TEST_F(DemoGameTest, TheSoundtrackGoesOutTitledInTheFormatChosen) {
  Open();
  const std::string Folder = JoinPath(JoinPath(Demo, "audio"), "Soundtrack");
  Dialogs.FolderAnswer = Folder;
  TExportUser Script;
  Exporter = &Script;
  UINT_PTR Timer = ::SetTimer(nullptr, 0, 50, &PlayExportUser);
  Command(Form().actFileExportSoundtrack);
  ::KillTimer(nullptr, Timer);
  Exporter = nullptr;
  Pump();
  ASSERT_TRUE(Boxes.Shown.empty()) << WideToAnsi(Boxes.Shown[0].Text);
  EXPECT_EQ(Script.Format, L"Wave (*.wav)");
  ASSERT_EQ(Script.Rows.size(), 12u) << "the window did not come to Close";
  EXPECT_EQ(Script.Rows[0][0], L"The Offside Trap - Kick Off.wav");
  EXPECT_EQ(Script.Rows[0][1], L"The Offside Trap - Kick Off (theme.asf)");
  for (const auto& Row : Script.Rows)
    EXPECT_EQ(Row[2], L"Written") << WideToAnsi(Row[0]);
  EXPECT_EQ(Script.Status, L"Wrote 12 of 12 song(s) and 3 playlist(s) to " + AnsiToWide(Folder) + L".");
  EXPECT_GT(sx::ReadAudio(ReadFile(JoinPath(Folder, "The Offside Trap - Kick Off.wav"))).Frames(), 0);
  EXPECT_TRUE(platform::IsFile(JoinPath(Folder, "Stream 0.m3u8")));
  EXPECT_TRUE(::IsWindowEnabled(FWindow->Handle()));
}

namespace {

// A user at the soundtrack window: once the songs are measured, the list is read and Close pressed.
struct TLevelsUser {
  int Ticks = 0;
  std::vector<std::vector<std::wstring>> Rows;
  std::wstring Status;
};
TLevelsUser* LevelsUser = nullptr;

void CALLBACK PlayLevelsUser(HWND, UINT, UINT_PTR, DWORD) {
  TLevelsUser& U = *LevelsUser;
  HWND Window = ::FindWindowW(ui::LevelsWindowClass, nullptr);
  if (Window == nullptr || !U.Status.empty())
    return;
  const std::wstring Status = WindowText(::GetDlgItem(Window, ui::IDC_LEVELS_STATUS));
  if (Status.find(L" measured") == std::wstring::npos && ++U.Ticks < 2400)
    return;
  HWND List = ::GetDlgItem(Window, ui::IDC_LEVELS_LIST);
  for (int Row = 0; Row < static_cast<int>(::SendMessageW(List, LVM_GETITEMCOUNT, 0, 0)); ++Row)
    U.Rows.push_back(ListRow(List, Row, TLevelsWindow::ColumnCount));
  U.Status = Status;
  PressButton(Window, IDCANCEL);
}

// The client area of Window as it paints itself, row by row.
std::vector<COLORREF> Capture(HWND Window, int Width, int Height) {
  HDC Screen = ::GetDC(Window);
  HDC Memory = ::CreateCompatibleDC(Screen);
  HBITMAP Bitmap = ::CreateCompatibleBitmap(Screen, Width, Height);
  HGDIOBJ Old = ::SelectObject(Memory, Bitmap);
  ::PrintWindow(Window, Memory, 0);
  std::vector<COLORREF> Pixels;
  for (int Y = 0; Y < Height; ++Y)
    for (int X = 0; X < Width; ++X)
      Pixels.push_back(::GetPixel(Memory, X, Y));
  ::SelectObject(Memory, Old);
  ::DeleteObject(Bitmap);
  ::DeleteDC(Memory);
  ::ReleaseDC(Window, Screen);
  return Pixels;
}

} // namespace

// View > Soundtrack... lists the demo's twelve songs, each with its numbers, once they are measured.
TEST_F(DemoGameTest, TheSoundtrackWindowListsTheDemosSongsWithTheirLoudness) {
  Open();
  wchar_t Menu[32] = {};
  ::GetMenuStringW(::GetMenu(FWindow->Handle()), 2, Menu, 32, MF_BYPOSITION);
  EXPECT_STREQ(Menu, L"&View");
  TLevelsUser Script;
  LevelsUser = &Script;
  UINT_PTR Timer = ::SetTimer(nullptr, 0, 50, &PlayLevelsUser);
  Command(Form().actViewSoundtrack);
  ::KillTimer(nullptr, Timer);
  LevelsUser = nullptr;
  ASSERT_TRUE(Boxes.Shown.empty()) << WideToAnsi(Boxes.Shown[0].Text);
  EXPECT_EQ(Script.Status.rfind(L"12 song(s), 12 measured; their median ", 0), 0u)
      << WideToAnsi(Script.Status);
  ASSERT_EQ(Script.Rows.size(), 12u);
  EXPECT_EQ(Script.Rows[0][0], L"frontend.big\\theme.asf");
  EXPECT_EQ(Script.Rows[0][1], L"Stream 0, sample 0; stream 2, sample 3");
  EXPECT_EQ(Script.Rows[11][2], L"The Offside Trap - Highlights");
  for (const std::vector<std::wstring>& Row : Script.Rows) {
    SCOPED_TRACE(WideToAnsi(Row[0]));
    EXPECT_EQ(Row[3].rfind(L"0:0", 0), 0u) << "two bars: a few seconds";
    EXPECT_NE(Row[4].find(L" LUFS"), std::wstring::npos);
    EXPECT_NE(Row[5].find(L" dBTP"), std::wstring::npos);
    EXPECT_NE(Row[6].find(L" LU"), std::wstring::npos);
  }
  EXPECT_TRUE(::IsWindowEnabled(FWindow->Handle()));
  EXPECT_FALSE(Form().DefinitionChanged());
}

// The strip under the details draws the outline that the converter gives for the selected song: in each
// channel's band, every pixel column holds ink from the height of the column's largest value down to that
// of its smallest (a loud column tall, a quiet one a line), within two pixels and one slice either side.
TEST_F(DemoGameTest, TheStripDrawsTheOutlineTheConverterGivesForTheSelectedSong) {
  Open();
  Select({0, 0, 2}); // Options
  for (int I = 0; I < 3000 && Form().picSong.State() == TSongPicture::TState::Measuring; ++I) {
    ::Sleep(10);
    Pump();
  }
  ASSERT_EQ(Form().picSong.State(), TSongPicture::TState::Shown) << WideToAnsi(Form().picSong.Text());
  TConverter Converter(Process);
  const TMeasureReport Expected = MeasureSong(Converter, EntryBytes(*Form().SelectedSample()->StreamFile()));
  ASSERT_EQ(Expected.Envelope.size(), 2u) << Expected.Error;

  HWND Strip = FWindow->Controls().picSong;
  RECT Client;
  ::GetClientRect(Strip, &Client);
  const int Width = Client.right, Height = Client.bottom;
  ASSERT_GT(Width, 100);
  const std::vector<COLORREF> Pixels = Capture(Strip, Width, Height);
  const COLORREF Ink = ::GetSysColor(COLOR_HIGHLIGHT);
  int Mismatches = 0, Tall = 0;
  std::string First;
  for (int C = 0; C < 2; ++C) {
    const std::vector<TEnvelopePoint>& Points = Expected.Envelope[static_cast<size_t>(C)];
    const int Top = Height * C / 2, Band = Height / 2, Middle = Top + Band / 2, Half = Band / 2 - 1;
    auto Row = [&](int Value) { return Middle - Value * Half / 32768; };
    const int N = static_cast<int>(Points.size());
    for (int X = 0; X < Width; ++X) {
      const int From = X * N / Width, To = std::max(From + 1, (X + 1) * N / Width);
      int NarrowMin = 32767, NarrowMax = -32768, WideMin = 32767, WideMax = -32768;
      for (int I = std::max(From - 1, 0); I < std::min(To + 1, N); ++I) {
        const TEnvelopePoint& P = Points[static_cast<size_t>(I)];
        WideMin = std::min<int>(WideMin, P.Min);
        WideMax = std::max<int>(WideMax, P.Max);
        if (I >= From && I < To) {
          NarrowMin = std::min<int>(NarrowMin, P.Min);
          NarrowMax = std::max<int>(NarrowMax, P.Max);
        }
      }
      int InkTop = -1, InkBottom = -1;
      for (int Y = Top; Y < Top + Band; ++Y)
        if (Pixels[static_cast<size_t>(Y * Width + X)] == Ink) {
          InkTop = InkTop < 0 ? Y : InkTop;
          InkBottom = Y;
        }
      const bool Silent = WideMin == 0 && WideMax == 0;
      const bool Fits = Silent ? InkTop < 0
                               : InkTop >= Row(WideMax) - 2 && InkTop <= Row(NarrowMax) + 2 &&
                                     InkBottom <= Row(WideMin) + 2 && InkBottom >= Row(NarrowMin) - 3;
      Tall += InkBottom - InkTop > Band / 2;
      if (!Fits && Mismatches++ == 0)
        First = "channel " + std::to_string(C) + ", column " + std::to_string(X) + ": ink " +
                std::to_string(InkTop) + ".." + std::to_string(InkBottom) + ", outline " +
                std::to_string(NarrowMax) + ".." + std::to_string(NarrowMin);
    }
  }
  EXPECT_EQ(Mismatches, 0) << First;
  EXPECT_GT(Tall, 10) << "a song without loud columns tells little";
}
