// The system's own file and folder dialogs, run from the window and answered from timer ticks as a user
// answers them: a name typed into the dialog's name box and a button pressed, the dialog's own message
// box answered, the dialog cancelled when it stays open after that.

#include "app/Messages.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "platform/FileSystem.h"
#include "tests/fixtures/Bigf.h"
#include "tests/ui/UiFixture.h"

#include <commctrl.h>
#include <filesystem>
#include <functional>

using namespace fixtures;

namespace {

constexpr int FileNameBox = 0x047C;   // the open and save dialogs' name box
constexpr int FolderNameBox = 0x0480; // the item dialog's folder box

// One run of a system dialog: what to do in it, and what was seen.
struct TDialogScript {
  int NameBox = FileNameBox;
  std::wstring Type; // typed into the name box before pressing, unless empty
  int Press = IDOK;
  int Answer = IDOK; // pressed in the dialog's message box, if one comes
  std::wstring Caption, NameShown, Message;
  int Step = 0;
  int Ticks = 0;
  HWND Dialog = nullptr;
};
TDialogScript* Playing = nullptr;

struct TDialogSearch {
  HWND Owner, Found;
};

BOOL CALLBACK MatchDialog(HWND Window, LPARAM Param) {
  auto& S = *reinterpret_cast<TDialogSearch*>(Param);
  wchar_t Class[16] = {};
  ::GetClassNameW(Window, Class, 16);
  if (std::wstring(Class) != L"#32770" || !::IsWindowVisible(Window) ||
      (S.Owner != nullptr && ::GetWindow(Window, GW_OWNER) != S.Owner))
    return TRUE;
  S.Found = Window;
  return FALSE;
}

// A visible dialog window of this thread owned by Owner (any owner when null).
HWND DialogOwnedBy(HWND Owner) {
  TDialogSearch Search{Owner, nullptr};
  ::EnumThreadWindows(::GetCurrentThreadId(), &MatchDialog, reinterpret_cast<LPARAM>(&Search));
  return Search.Found;
}

std::wstring StaticTexts(HWND Box) {
  std::wstring Texts;
  for (HWND Child = ::GetWindow(Box, GW_CHILD); Child != nullptr; Child = ::GetWindow(Child, GW_HWNDNEXT)) {
    wchar_t Class[16] = {};
    ::GetClassNameW(Child, Class, 16);
    if (std::wstring(Class) == L"Static")
      Texts += WindowText(Child);
  }
  return Texts;
}

void Press(HWND Dialog, int Button) {
  ::PostMessageW(Dialog, WM_COMMAND, MAKEWPARAM(Button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(Dialog, Button)));
}

// Step 0 fills in the dialog and presses its button; step 1 answers the message box that may come; step 2
// cancels the dialog if it is still open. A dialog that neither closes nor asks is cancelled after many
// ticks, so that a wrong outcome fails the test instead of hanging it.
void CALLBACK PlayScript(HWND, UINT, UINT_PTR, DWORD) {
  TDialogScript& S = *Playing;
  if (S.Step == 0) {
    S.Dialog = DialogOwnedBy(nullptr);
    if (S.Dialog == nullptr)
      return;
    S.Caption = WindowText(S.Dialog);
    S.NameShown = WindowText(::GetDlgItem(S.Dialog, S.NameBox));
    if (!S.Type.empty())
      ::SetDlgItemTextW(S.Dialog, S.NameBox, S.Type.c_str());
    Press(S.Dialog, S.Press);
    S.Step = 1;
    return;
  }
  if (!::IsWindow(S.Dialog) || S.Step > 2)
    return;
  HWND Box = DialogOwnedBy(S.Dialog);
  if (S.Step == 1 && Box != nullptr) {
    S.Message = StaticTexts(Box);
    Press(Box, S.Answer);
    S.Step = 2;
  } else if ((S.Step == 2 && Box == nullptr) || ++S.Ticks > 200) {
    Press(S.Dialog, IDCANCEL);
    S.Step = 3;
  }
}

std::wstring StatusText(HWND StatusBar) {
  wchar_t Text[512] = {};
  ::SendMessageW(StatusBar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(Text));
  return Text;
}

class RealDialogsTest : public UiTest {
protected:
  RealDialogsTest() : UiTest(true) {}
  // Runs Action while Script answers the dialog it opens.
  template <class TAction> auto RunWith(TDialogScript& Script, TAction&& Action) {
    Playing = &Script;
    UINT_PTR Timer = ::SetTimer(nullptr, 0, 50, &PlayScript);
    struct TStop {
      UINT_PTR Timer;
      ~TStop() {
        ::KillTimer(nullptr, Timer);
        Playing = nullptr;
      }
    } Stop{Timer};
    return Action();
  }
  void OpenDirectly() {
    Form().actFileOpenDialog.FileName = AnsiToWide(DefPath);
    Form().actFileOpenAccept();
    Pump();
  }
};

} // namespace

TEST_F(RealDialogsTest, TheFolderDialogOpensOnTheProposedFolderAndReturnsTheChosenOrTypedOne) {
  std::string Preload = Dir.File("preload"), Other = Dir.File("other");
  std::filesystem::create_directory(Preload);
  std::filesystem::create_directory(Other);
  struct Case {
    std::wstring Type;
    int Press;
    bool Confirmed;
    std::string Folder;
  } Cases[] = {
      {L"", IDOK, true, Preload},             // OK alone: the proposed folder
      {AnsiToWide(Other), IDOK, true, Other}, // a whole path typed
      {L"other", IDOK, true, Other},          // a name typed, beside the proposed folder
      {AnsiToWide(Other), IDCANCEL, false, Preload},
  };
  for (const Case& C : Cases) {
    TFolderDialogState State{msg::PreloadDialogCaption, Preload + "\\"};
    TDialogScript Script;
    Script.NameBox = FolderNameBox;
    Script.Type = C.Type;
    Script.Press = C.Press;
    bool Confirmed = RunWith(Script, [&] { return SystemDialogs.BrowseForFolder(State); });
    std::string Label = WideToAnsi(C.Type) + " " + std::to_string(C.Press);
    EXPECT_EQ(Script.Caption, L"Selecet <ORVIK>\\preload directory...") << Label;
    EXPECT_EQ(Script.NameShown, L"preload") << Label;
    EXPECT_TRUE(Script.Message.empty()) << Label << ": " << WideToAnsi(Script.Message);
    EXPECT_EQ(Confirmed, C.Confirmed) << Label;
    if (C.Confirmed) {
      EXPECT_EQ(State.Folder, C.Folder) << Label;
    }
  }
}

TEST_F(RealDialogsTest, ThePreloadUpdateSaysWhatItDidInTheFolderChosenInTheRealDialog) {
  std::string Preload = Dir.File("preload"), Empty = Dir.File("empty");
  std::filesystem::create_directory(Preload);
  std::filesystem::create_directory(Empty);
  WriteFile(JoinPath(Preload, "gaudio.viv"), MakeBigf({{"streams.dat", Pattern(9, 4)}}));
  Registry.Keys["SOFTWARE\\EA SPORTS\\ORVIK"]["Install Dir"] = {'s', AnsiToWide(Dir.Path())};
  OpenDirectly();
  // The first save's status also says, once, that the changes before it cannot be undone.
  struct Case {
    std::wstring Type;
    std::wstring Status, Warning;
  } Cases[] = {
      {AnsiToWide(Empty), msg::SaveEndsHistory,
       L"The preload directory was not updated: this folder holds none of the preload archives faudio.viv, "
       L"gaudio.viv and gaudiofa.viv:\r\n" +
           AnsiToWide(Empty)},
      {L"", L"Preload directory updated: gaudio.viv", L""},
  };
  for (const Case& Run : Cases) {
    Select({0, 0, 0});
    Command(Form().actStreamAddSample);
    ASSERT_TRUE(Form().DefinitionChanged());
    Boxes.Shown.clear();
    Boxes.Answers = {TMsgResult::Yes};
    TDialogScript Script;
    Script.NameBox = FolderNameBox;
    Script.Type = Run.Type;
    RunWith(Script, [&] { Command(Form().actFileSave); });
    EXPECT_EQ(Script.NameShown, L"preload");
    ASSERT_FALSE(Boxes.Shown.empty());
    EXPECT_EQ(Boxes.Shown[0].Text.rfind(msg::UpdatePreload, 0), 0u);
    if (!Run.Warning.empty()) {
      EXPECT_EQ(Boxes.Shown.back().Text, Run.Warning);
    }
    EXPECT_EQ(StatusText(C().StatusBar), Run.Status);
    EXPECT_FALSE(::IsWindowVisible(C().StatusProgress));
  }
}

TEST_F(RealDialogsTest, OpenAndImportRefuseANameThatDoesNotExist) {
  OpenDirectly();
  Select({0, 0, 0});
  TStreamPack* Opened = Form().Pack();
  for (const TActionModel* Action : {&Form().actFileOpen, &Form().actSampleImport}) {
    TDialogScript Script;
    Script.Type = AnsiToWide(Dir.File("missing.wav"));
    RunWith(Script, [&] { Command(*Action); });
    EXPECT_FALSE(Script.Message.empty()) << "the dialog did not refuse the name";
    EXPECT_EQ(Script.Step, 3) << "the dialog closed on a missing name";
  }
  EXPECT_TRUE(Runner.Runs.empty()) << "the converter ran on a missing file";
  EXPECT_TRUE(Boxes.Shown.empty()) << WideToAnsi(Boxes.Shown[0].Text);
  EXPECT_EQ(Form().Pack(), Opened);
}

TEST_F(RealDialogsTest, ExportAsksBeforeReplacingAFile) {
  OpenDirectly();
  Select({0, 0, 0});
  std::string Existing = Dir.File("kept.asf");
  WriteFile(Existing, Pattern(20, 6));
  for (int Answer : {IDNO, IDYES}) {
    Runner.Runs.clear();
    Boxes.Shown.clear();
    TDialogScript Script;
    Script.Type = AnsiToWide(Existing);
    Script.Answer = Answer;
    RunWith(Script, [&] { Command(Form().actSampleExport); });
    EXPECT_FALSE(Script.Message.empty()) << "no question before replacing the file";
    ASSERT_EQ(Runner.Runs.size(), Answer == IDYES ? 1u : 0u);
    if (Answer == IDYES) {
      EXPECT_EQ(Runner.Runs[0].Parameters.substr(Runner.Runs[0].Parameters.size() - Existing.size() - 1),
                AnsiToWide(Existing) + L"\"");
    }
    // The scripted runner converts nothing: the file stays as it was, and that is said.
    EXPECT_EQ(ReadFile(Existing), Pattern(20, 6));
    EXPECT_EQ(Boxes.Shown.size(), Answer == IDYES ? 1u : 0u);
  }
}
