#include "app/Messages.h"
#include "base/Text.h"
#include "tests/ui/UiFixture.h"
#include "ui/AboutBox.h"
#include "ui/Dpi.h"
#include "ui/Hints.h"
#include "ui/PaintingConverterRunner.h"
#include "ui/Resources.h"
#include "ui/WinServices.h"

#include <commctrl.h>
#include <cstdlib>

namespace {

// "caption" of every item of a menu, "-" for a separator; captions of pull-downs end with ">".
std::vector<std::wstring> MenuLines(HMENU Menu, std::vector<UINT>& Commands) {
  std::vector<std::wstring> Lines;
  for (int I = 0; I < ::GetMenuItemCount(Menu); ++I) {
    wchar_t Buffer[128] = {};
    MENUITEMINFOW Info{};
    Info.cbSize = sizeof Info;
    Info.fMask = MIIM_FTYPE | MIIM_STRING | MIIM_ID | MIIM_SUBMENU;
    Info.dwTypeData = Buffer;
    Info.cch = 128;
    ::GetMenuItemInfoW(Menu, static_cast<UINT>(I), TRUE, &Info);
    if ((Info.fType & MFT_SEPARATOR) != 0) {
      Lines.push_back(L"-");
    } else if (Info.hSubMenu != nullptr) {
      Lines.push_back(std::wstring(Buffer) + L">");
      for (const std::wstring& Line : MenuLines(Info.hSubMenu, Commands))
        Lines.push_back(L"  " + Line);
    } else {
      Lines.push_back(Buffer);
      Commands.push_back(Info.wID);
    }
  }
  return Lines;
}

} // namespace

TEST_F(UiTest, MenusToolBarAndControlsShowTheirTexts) {
  std::vector<UINT> MenuCommands;
  EXPECT_EQ(MenuLines(::GetMenu(Window().Handle()), MenuCommands),
            (std::vector<std::wstring>{L"&File>",
                                       L"  &Open...\tCtrl+O",
                                       L"  &Save\tCtrl+S",
                                       L"  -",
                                       L"  Export Sound&track...",
                                       L"  -",
                                       L"  &Restore Original Music...",
                                       L"  &Export Soundtrack Pack...",
                                       L"  &Apply Soundtrack Pack...",
                                       L"  -",
                                       L"  E&xit",
                                       L"&Edit>",
                                       L"  &Undo\tCtrl+Z",
                                       L"  &Redo\tCtrl+Y",
                                       L"&View>",
                                       L"  &Soundtrack...",
                                       L"&Sample>",
                                       L"  &Preview",
                                       L"  -",
                                       L"  &Import...",
                                       L"  &Export...",
                                       L"S&tream>",
                                       L"  &Add Sample",
                                       L"  &Delete Sample",
                                       L"  -",
                                       L"  &Import Songs...",
                                       L"&Help>",
                                       L"  &Contents",
                                       L"  &What's This?",
                                       L"  -",
                                       L"  &About..."}));

  // The tool bar: images only, the actions' image numbers, nullptr for a separator.
  TfrmORVStreams& F = Form();
  std::vector<const TActionModel*> Expected = {&F.actFileOpen,
                                               &F.actFileSave,
                                               nullptr,
                                               &F.actSamplePreview,
                                               &F.actSampleImport,
                                               &F.actSampleExport,
                                               nullptr,
                                               &F.actEditUndo,
                                               &F.actEditRedo,
                                               nullptr,
                                               &F.actStreamAddSample,
                                               &F.actStreamDeleteSample};
  std::vector<int> ExpectedImages = {0, 6, -1, 4, 3, 2, -1, 13, 14, -1, 8, 7};
  int Count = static_cast<int>(::SendMessageW(C().tbrStrandard, TB_BUTTONCOUNT, 0, 0));
  ASSERT_EQ(Count, static_cast<int>(Expected.size()));
  for (int I = 0; I < Count; ++I) {
    TBBUTTON Button{};
    ::SendMessageW(C().tbrStrandard, TB_GETBUTTON, static_cast<WPARAM>(I), reinterpret_cast<LPARAM>(&Button));
    bool Separator = (Button.fsStyle & BTNS_SEP) != 0;
    EXPECT_EQ(Separator, Expected[static_cast<size_t>(I)] == nullptr) << "button " << I;
    if (!Separator) {
      EXPECT_EQ(Window().Actions().ActionOf(Button.idCommand), Expected[static_cast<size_t>(I)])
          << "button " << I;
      EXPECT_EQ(Button.iBitmap, ExpectedImages[static_cast<size_t>(I)]) << "button " << I;
      EXPECT_LE(::SendMessageW(C().tbrStrandard, TB_GETBUTTONTEXTW, static_cast<WPARAM>(Button.idCommand), 0),
                0);
    }
  }
  int Images = ImageList_GetImageCount(
      reinterpret_cast<HIMAGELIST>(::SendMessageW(C().tbrStrandard, TB_GETIMAGELIST, 0, 0)));
  EXPECT_EQ(Images, 15);

  // The preload update stands on neither; the help actions are there, disabled.
  int Preload = CommandOf(F.actFileUpdatePreload);
  EXPECT_EQ(std::count(MenuCommands.begin(), MenuCommands.end(), static_cast<UINT>(Preload)), 0);
  EXPECT_EQ(::SendMessageW(C().tbrStrandard, TB_COMMANDTOINDEX, static_cast<WPARAM>(Preload), 0), -1);
  EXPECT_FALSE(MenuEnabled(F.actHelpContents));
  EXPECT_FALSE(MenuEnabled(F.actHelpWhatsThis));
  EXPECT_TRUE(MenuEnabled(F.actHelpAbout));

  std::vector<std::pair<HWND, std::wstring>> Captions = {{Window().Handle(), L"ORVIK Streams Editor"},
                                                         {C().lblDescriptions, L"Descriptions"},
                                                         {C().btnDescrAdd, L"Add..."},
                                                         {C().btnDescRemove, L"Remove"},
                                                         {C().grpDescriptionFrame, L"Selected description"},
                                                         {C().lblSinger, L"Singer"},
                                                         {C().lblAlbum, L"Album"},
                                                         {C().lblName, L"Name"},
                                                         {C().lblStreams, L"Archives"},
                                                         {C().grpStreamFrame, L"Current Archive"},
                                                         {C().lblFiles, L"Sample File"},
                                                         {C().btnAddFile, L"Add..."},
                                                         {C().btnRemoveFile, L"Remove"}};
  for (const auto& [Control, Caption] : Captions)
    EXPECT_EQ(Text(Control), Caption);
  for (HWND Edit : {C().edtSinger, C().edtAlbum, C().edtName})
    EXPECT_EQ(::SendMessageW(Edit, EM_GETLIMITTEXT, 0, 0), 63);
  for (HWND Combo : {C().cmbDescriptions, C().cmbStreams, C().cmbFiles}) {
    EXPECT_EQ(::SendMessageW(Combo, CB_GETMINVISIBLE, 0, 0), 16);
    EXPECT_EQ(::GetWindowLongW(Combo, GWL_STYLE) & 3, CBS_DROPDOWNLIST);
  }
  EXPECT_EQ(::SendMessageW(C().treeFiles, TVM_GETINDENT, 0, 0),
            ui::Scale(19, ui::WindowDpi(Window().Handle())));
  EXPECT_NE(::GetWindowLongW(C().treeFiles, GWL_STYLE) & TVS_SHOWSELALWAYS, 0);
  EXPECT_EQ(::GetWindowLongW(C().treeFiles, GWL_STYLE) & TVS_EDITLABELS, 0);
}

TEST_F(UiTest, ShortcutsReachTheirActionsOnlyWhileEnabled) {
  PressCtrl(
      'S'); // nothing changed: Save is disabled and runs nothing (it would ask about the preload folder)
  EXPECT_TRUE(Boxes.Shown.empty());

  Dialogs.OpenAnswers.push_back(std::wstring(DefPath.begin(), DefPath.end()));
  PressCtrl('O');
  ASSERT_EQ(Dialogs.OpenSeen.size(), 1u);
  ASSERT_NE(Form().Pack(), nullptr);

  Select({0, 0, 0});
  ::SetWindowTextW(C().edtAlbum, L"Changed");
  Pump();
  Boxes.Answers = {TMsgResult::No}; // no preload update
  PressCtrl('S');
  ASSERT_EQ(Boxes.Shown.size(), 1u);
  EXPECT_EQ(Boxes.Shown[0].Text, msg::UpdatePreload);
  EXPECT_FALSE(Form().DefinitionChanged());
}

// Ctrl+Z in a description box takes back the box's own typing first, and the step with it; once the
// focus has left the box, the editor's last step.
TEST_F(UiTest, CtrlZInABoxTakesBackItsTypingFirstThenTheLastStep) {
  Open();
  Select({0, 0, 0});
  HWND Album = C().edtAlbum;
  auto BoxText = [Album] {
    wchar_t Text[128] = {};
    ::GetWindowTextW(Album, Text, 128);
    return std::wstring(Text);
  };
  const std::wstring Before = BoxText();
  auto Type = [&](const std::wstring& Text) {
    ::SetFocus(Album);
    int End = ::GetWindowTextLengthW(Album);
    ::SendMessageW(Album, EM_SETSEL, static_cast<WPARAM>(End), End);
    for (wchar_t Char : Text)
      ::SendMessageW(Album, WM_CHAR, Char, 1);
    Pump();
  };
  Type(L"XY");
  ASSERT_EQ(Form().edtAlbum.Text(), Before + L"XY");
  ASSERT_TRUE(Form().actEditUndo.Enabled());
  PressCtrl('Z', Album);
  EXPECT_EQ(BoxText(), Before);
  EXPECT_EQ(Form().edtAlbum.Text(), Before);
  EXPECT_FALSE(Form().actEditUndo.Enabled());
  EXPECT_FALSE(Form().DefinitionChanged());

  Type(L"Q");
  ::SetFocus(C().treeFiles);
  Pump();
  PressCtrl('Z');
  EXPECT_EQ(BoxText(), Before);
  EXPECT_EQ(Form().edtAlbum.Text(), Before);
  EXPECT_TRUE(Form().actEditRedo.Enabled());
  // Ctrl+Shift+Z makes it again, as Ctrl+Y does.
  BYTE Keys[256];
  ::GetKeyboardState(Keys);
  Keys[VK_SHIFT] = 0x80;
  ::SetKeyboardState(Keys);
  PressCtrl('Z');
  Keys[VK_SHIFT] = 0;
  ::SetKeyboardState(Keys);
  EXPECT_EQ(BoxText(), Before + L"Q");
  EXPECT_FALSE(Form().actEditRedo.Enabled());
}

TEST_F(UiTest, OpeningFillsTheControlsAndTheSelectionShowsTheDetails) {
  Open();
  EXPECT_EQ(TreeViewLines(), (std::vector<std::string>{"0:Stream 0", "1:A.big", "2:a1.asf", "2:a2.asf",
                                                       "1:B.big", "2:b1.asf", "0:Stream 1"}));
  EXPECT_EQ(TreeViewLines(), ModelLines());
  EXPECT_EQ(ComboItems(C().cmbDescriptions),
            (std::vector<std::wstring>{L"[No Description]", L"Singer0: Name0", L"Singer1: Name1"}));
  EXPECT_EQ(ComboItems(C().cmbStreams), (std::vector<std::wstring>{L"A.big", L"B.big"}));

  struct TCase {
    std::initializer_list<int> Node;
    bool Details, Description;
    int DescriptionItem;
    std::wstring Singer, File;
  };
  for (const TCase& Case : std::vector<TCase>{{{0, 0, 1}, true, true, 2, L"Singer1", L"a2.asf"},
                                              {{0}, false, false, -1, L"", L""},
                                              {{0, 1, 0}, true, false, 0, L"", L"b1.asf"},
                                              {{0, 1}, false, false, -1, L"", L""},
                                              {{0, 0, 0}, true, true, 1, L"Singer0", L"a1.asf"}}) {
    Select(Case.Node);
    SCOPED_TRACE(ModelLines()[0] + " case with file " + std::string(Case.File.begin(), Case.File.end()));
    EXPECT_EQ(::IsWindowVisible(C().pnlDetails) != FALSE, Case.Details);
    EXPECT_EQ(::IsWindowVisible(C().grpDescription) != FALSE, Case.Description);
    if (!Case.Details)
      continue;
    EXPECT_EQ(::SendMessageW(C().cmbDescriptions, CB_GETCURSEL, 0, 0), Case.DescriptionItem);
    if (Case.Description) {
      EXPECT_EQ(Text(C().edtSinger), Case.Singer);
    }
    EXPECT_EQ(Text(C().cmbFiles), Case.File);
  }
}

TEST_F(UiTest, EditsChangeTheDescriptionAndActionsFollowAfterIdle) {
  Open();
  TfrmORVStreams& F = Form();
  auto ExpectEnabled = [&](std::vector<std::pair<const TActionModel*, bool>> Cases, const char* When) {
    for (auto [Action, Enabled] : Cases) {
      EXPECT_EQ(ToolBarEnabled(*Action), Enabled) << When << ": " << WideToAnsi(Action->Caption());
      EXPECT_EQ(MenuEnabled(*Action), Enabled) << When << ": " << WideToAnsi(Action->Caption());
    }
  };
  Select({0, 0, 0});
  ExpectEnabled({{&F.actFileOpen, true},
                 {&F.actFileSave, false},
                 {&F.actSamplePreview, true},
                 {&F.actSampleImport, true},
                 {&F.actSampleExport, true},
                 {&F.actStreamAddSample, true},
                 {&F.actStreamDeleteSample, true}},
                "sample selected");

  ::SetWindowTextW(C().edtSinger, L"Zed"); // as typed: the edit sends EN_CHANGE
  EXPECT_EQ(FieldText(F.Pack()->Descriptions(0)->Singer), "Zed");
  EXPECT_EQ(ComboItems(C().cmbDescriptions)[1], L"Zed: Name0");
  EXPECT_EQ(::SendMessageW(C().cmbDescriptions, CB_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(Text(C().edtSinger), L"Zed");
  Pump();
  Select({0});
  ExpectEnabled({{&F.actFileSave, true},
                 {&F.actSamplePreview, false},
                 {&F.actSampleImport, false},
                 {&F.actSampleExport, false},
                 {&F.actStreamAddSample, true},
                 {&F.actStreamDeleteSample, false}},
                "stream selected after an edit");

  // Choosing "[No Description]" as the user does hides the description group.
  Select({0, 0, 0});
  ::SendMessageW(C().cmbDescriptions, CB_SETCURSEL, 0, 0);
  ::SendMessageW(C().pnlDetails, WM_COMMAND, MAKEWPARAM(0, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(C().cmbDescriptions));
  EXPECT_EQ(F.SelectedSample()->DescriptionIndex, -1);
  EXPECT_FALSE(::IsWindowVisible(C().grpDescription));
}

TEST_F(UiTest, HintsShowInToolTipsAndTheStatusBar) {
  Open();
  Select({0, 0, 0}); // the details, with their controls, show
  // The mouse itself goes there too: a control asks the system to report when the mouse leaves it.
  auto MoveOver = [&](HWND Control, POINT At) {
    POINT OnScreen = At;
    ::ClientToScreen(Control, &OnScreen);
    ::SetCursorPos(OnScreen.x, OnScreen.y);
    ::PostMessageW(Control, WM_MOUSEMOVE, 0, MAKELPARAM(At.x, At.y));
    Pump();
  };
  RECT SaveButton;
  ::SendMessageW(C().tbrStrandard, TB_GETRECT, static_cast<WPARAM>(CommandOf(Form().actFileSave)),
                 reinterpret_cast<LPARAM>(&SaveButton));
  HMENU Menu = ::GetMenu(Window().Handle());
  // A point of the screen outside the window, where the mouse goes when it leaves.
  RECT Frame;
  ::GetWindowRect(Window().Handle(), &Frame);
  POINT Outside{Frame.right + 5, Frame.bottom + 5};
  ASSERT_LT(Outside.x, ::GetSystemMetrics(SM_CXSCREEN));
  ASSERT_LT(Outside.y, ::GetSystemMetrics(SM_CYSCREEN));
  struct TCase {
    const char* What;
    std::function<void()> Do;
    std::wstring Status;
  };
  for (const TCase& Case : std::vector<TCase>{
           {"btnDescRemove",
            [&] {
              MoveOver(C().btnDescRemove, {3, 3});
            },
            L"Deelete the selected description"},
           {"title bar",
            [&] {
              ::PostMessageW(Window().Handle(), WM_NCMOUSEMOVE, HTCAPTION,
                             MAKELPARAM(Frame.left + 40, Frame.top + 5));
              Pump();
            },
            L""},
           {"btnDescRemove again",
            [&] {
              MoveOver(C().btnDescRemove, {3, 3});
            },
            L"Deelete the selected description"},
           {"left the window",
            [&] {
              ::SetCursorPos(Outside.x, Outside.y);
              ::PostMessageW(C().btnDescRemove, WM_MOUSELEAVE, 0, 0);
              Pump();
            },
            L""},
           {"tree",
            [&] {
              MoveOver(C().treeFiles, {3, 3});
            },
            L""},
           {"lblFiles",
            [&] {
              MoveOver(C().lblFiles, {2, 2});
            },
            L"Select the file in the archive assigned to this sample"},
           {"btnRemoveFile",
            [&] {
              MoveOver(C().btnRemoveFile, {2, 2});
            },
            L"Remove the selected file from the archive"},
           {"Save button",
            [&] {
              MoveOver(C().tbrStrandard, {SaveButton.left + 2, SaveButton.top + 2});
            },
            L"Save changes to the definition file and rebuild the dependent archives"},
           {"menu entered",
            [&] {
              ::SendMessageW(Window().Handle(), WM_ENTERMENULOOP, FALSE, 0);
              ::SendMessageW(Window().Handle(), WM_EXITMENULOOP, FALSE, 0);
            },
            L""},
           {"Open menu item",
            [&] {
              ::SendMessageW(Window().Handle(), WM_MENUSELECT,
                             MAKEWPARAM(CommandOf(Form().actFileOpen), MF_STRING | MF_HILITE),
                             reinterpret_cast<LPARAM>(Menu));
            },
            L"Open a stream definition file"},
           {"menu closed",
            [&] { ::SendMessageW(Window().Handle(), WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0); }, L""},
       }) {
    Case.Do();
    wchar_t Status[256] = {};
    ::SendMessageW(C().StatusBar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(Status));
    EXPECT_EQ(std::wstring(Status), Case.Status) << Case.What;
  }

  wchar_t Tip[128] = {};
  TTTOOLINFOW Tool{};
  Tool.cbSize = sizeof Tool;
  Tool.hwnd = Window().Handle();
  Tool.uId = reinterpret_cast<UINT_PTR>(C().btnDescRemove);
  Tool.lpszText = Tip;
  ::SendMessageW(Window().Hints().ToolTip(), TTM_GETTEXTW, 128, reinterpret_cast<LPARAM>(&Tool));
  EXPECT_EQ(std::wstring(Tip), L"Remove description");

  NMTTDISPINFOW Ask{};
  Ask.hdr.hwndFrom = reinterpret_cast<HWND>(::SendMessageW(C().tbrStrandard, TB_GETTOOLTIPS, 0, 0));
  Ask.hdr.idFrom = static_cast<UINT_PTR>(CommandOf(Form().actSamplePreview));
  Ask.hdr.code = TTN_GETDISPINFOW;
  ::SendMessageW(Window().Handle(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&Ask));
  ASSERT_NE(Ask.lpszText, nullptr);
  EXPECT_EQ(std::wstring(Ask.lpszText), L"Preview/Stop");
}

TEST_F(UiTest, AnErrorInAHandlerIsReportedAndTheProgramGoesOn) {
  Open();
  Select({0, 0, 0});
  ::SendMessageW(C().btnRemoveFile, BM_CLICK, 0, 0);
  ASSERT_EQ(Boxes.Shown.size(), 1u);
  EXPECT_EQ(Boxes.Shown[0].Text, L"Not yet implemented.");
  EXPECT_EQ(Boxes.Shown[0].Caption, L"ORVIK Streams Editor");
  EXPECT_EQ(Boxes.Shown[0].Buttons, TMsgButtons::OK);
  EXPECT_EQ(Boxes.Shown[0].Icon, TMsgIcon::Error);

  Command(Form().actStreamAddSample);
  EXPECT_EQ(TreeViewLines().size(), 8u);
  EXPECT_EQ(TreeViewLines(), ModelLines());
}

TEST_F(UiTest, TheCloseQueryDecidesWhetherTheWindowCloses) {
  Open();
  Select({0, 0, 0});
  Command(Form().actStreamDeleteSample);
  ASSERT_TRUE(Form().DefinitionChanged());

  Boxes.Answers = {TMsgResult::Cancel, TMsgResult::Cancel};
  Command(Form().actFileExit);
  EXPECT_TRUE(::IsWindow(Window().Handle()));
  EXPECT_EQ(::SendMessageW(Window().Handle(), WM_QUERYENDSESSION, 0, 0), FALSE);
  ASSERT_EQ(Boxes.Shown.size(), 2u);
  EXPECT_EQ(Boxes.Shown[1].Text, msg::SaveChanges);

  Boxes.Answers = {TMsgResult::No};
  HWND Closing = Window().Handle();
  ::SendMessageW(Closing, WM_CLOSE, 0, 0);
  EXPECT_FALSE(::IsWindow(Closing));
}

namespace {

struct TAboutSeen {
  std::wstring Caption, Text, Button;
  bool Sizable = true, HasIcon = false, Centred = false;
};
TAboutSeen AboutSeen;

// Runs inside the about box's modal loop: looks at the box and closes it with Enter's command.
void CALLBACK InspectAboutBox(HWND, UINT, UINT_PTR Timer, DWORD) {
  HWND Box = ui::frmAboutBox != nullptr ? ui::frmAboutBox->Handle() : nullptr;
  if (Box == nullptr)
    return;
  ::KillTimer(nullptr, Timer);
  AboutSeen.Caption = WindowText(Box);
  AboutSeen.Text = WindowText(::GetDlgItem(Box, IDC_ABOUT_TEXT));
  DWORD Default = LOWORD(::SendMessageW(Box, DM_GETDEFID, 0, 0));
  AboutSeen.Button = WindowText(::GetDlgItem(Box, static_cast<int>(Default)));
  AboutSeen.Sizable = (::GetWindowLongW(Box, GWL_STYLE) & WS_THICKFRAME) != 0;
  AboutSeen.HasIcon = ::SendDlgItemMessageW(Box, IDC_ABOUT_ICON, STM_GETICON, 0, 0) != 0;
  RECT Box_, Work;
  ::GetWindowRect(Box, &Box_);
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &Work, 0);
  AboutSeen.Centred = std::abs((Box_.left + Box_.right) - (Work.left + Work.right)) <= 4 &&
                      std::abs((Box_.top + Box_.bottom) - (Work.top + Work.bottom)) <= 4;
  ::PostMessageW(Box, WM_COMMAND, MAKEWPARAM(Default, BN_CLICKED), 0);
}

} // namespace

TEST_F(UiTest, TheAboutBoxIsShownModallyAndFreedEachTime) {
  for (int Run = 0; Run < 2; ++Run) {
    AboutSeen = {};
    UINT_PTR Timer = ::SetTimer(nullptr, 0, 20, &InspectAboutBox);
    Command(Form().actHelpAbout);
    ::KillTimer(nullptr, Timer);
    EXPECT_EQ(ui::frmAboutBox, nullptr);
    EXPECT_EQ(AboutSeen.Caption, L"About");
    EXPECT_EQ(AboutSeen.Text, L"ORVIK Streams Editor 1.1");
    EXPECT_EQ(AboutSeen.Button, L"OK");
    EXPECT_FALSE(AboutSeen.Sizable);
    EXPECT_TRUE(AboutSeen.HasIcon);
    EXPECT_TRUE(AboutSeen.Centred);
  }
}

TEST_F(UiTest, WhileTheConverterRunsTheWindowPaintsAndTakesNoInput) {
  Open();
  ::InvalidateRect(C().treeFiles, nullptr, TRUE);
  ::PostMessageW(Window().Handle(), WM_COMMAND, MAKEWPARAM(CommandOf(Form().actStreamAddSample), 0), 0);
  ::PostMessageW(C().treeFiles, WM_KEYDOWN, VK_DOWN, 1);
  // A click on the title bar, which would otherwise run (a move, or the close box) once the wait ends.
  ::PostMessageW(Window().Handle(), WM_NCLBUTTONDOWN, HTCAPTION, 0);
  // Any program that runs for a moment will do: this one, listing its tests.
  wchar_t Self[MAX_PATH];
  ::GetModuleFileNameW(nullptr, Self, MAX_PATH);
  ui::TPaintingConverterRunner Runner;
  std::string ErrorOutput;
  ASSERT_TRUE(Runner.ExecuteAndWait(Self, L"--gtest_list_tests", L".", SW_HIDE, ErrorOutput));

  RECT Pending;
  EXPECT_FALSE(::GetUpdateRect(C().treeFiles, &Pending, FALSE)) << "the tree was not painted";
  MSG Left;
  EXPECT_TRUE(::PeekMessageW(&Left, Window().Handle(), WM_COMMAND, WM_COMMAND, PM_REMOVE))
      << "a command ran while waiting";
  EXPECT_FALSE(::PeekMessageW(&Left, nullptr, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE)) << "input was kept";
  EXPECT_FALSE(::PeekMessageW(&Left, nullptr, WM_NCLBUTTONDOWN, WM_NCLBUTTONDOWN, PM_REMOVE))
      << "a click on the title bar was kept";
  EXPECT_EQ(TreeViewLines().size(), 7u);
}

namespace {

// The file names the export dialog's name box showed after each filter change, then Cancel.
std::vector<std::wstring> NamesAfterTypeChange;

void CALLBACK PickFilters(HWND, UINT, UINT_PTR Timer, DWORD) {
  HWND Dialog = ::FindWindowW(L"#32770", nullptr);
  if (Dialog == nullptr)
    return;
  ::KillTimer(nullptr, Timer);
  constexpr int FilterList = 0x0470, NameBox = 0x047C;
  for (int Filter : {0, 6, 3}) { // Wave, AIFF, an EA stream
    ::SendDlgItemMessageW(Dialog, FilterList, CB_SETCURSEL, static_cast<WPARAM>(Filter), 0);
    // What a user's pick from the list sends.
    for (WORD Code : {CBN_SELCHANGE, CBN_SELENDOK})
      ::SendMessageW(Dialog, WM_COMMAND, MAKEWPARAM(FilterList, Code),
                     reinterpret_cast<LPARAM>(::GetDlgItem(Dialog, FilterList)));
    NamesAfterTypeChange.push_back(WindowText(::GetDlgItem(Dialog, NameBox)));
  }
  ::PostMessageW(Dialog, WM_COMMAND, IDCANCEL, 0);
}

} // namespace

TEST_F(UiTest, TheRealExportDialogRenamesTheFileWhenTheFilterChanges) {
  Open();
  Select({0, 0, 0});
  Form().actSampleExportBeforeExecute();
  TFileDialogState State = Form().actSampleExportDialog;
  ui::TWinDialogs Real;
  Real.Owner = Window().Handle();
  NamesAfterTypeChange.clear();
  UINT_PTR Timer = ::SetTimer(nullptr, 0, 50, &PickFilters);
  bool Confirmed =
      Real.ExecuteSave(State, [&](IOpenSaveDialog& Dialog) { Form().actSampleExportTypeChange(Dialog); });
  ::KillTimer(nullptr, Timer);
  EXPECT_FALSE(Confirmed);
  EXPECT_EQ(NamesAfterTypeChange, (std::vector<std::wstring>{L"a1.wav", L"a1.aif", L"a1.asf"}));
}

namespace {

// What the timer saw of the modal window it answered.
struct TModalSeen {
  std::wstring Caption, Texts;
  bool OwnerEnabled = true;
  int Press = IDOK;
  std::wstring Type; // typed into the dialog's edit before pressing
  HWND Main = nullptr;
};
TModalSeen ModalSeen;

BOOL CALLBACK CollectText(HWND Child, LPARAM Texts) {
  wchar_t Class[32] = {};
  ::GetClassNameW(Child, Class, 32);
  if (std::wstring(Class) == L"Static" || std::wstring(Class) == L"Edit")
    *reinterpret_cast<std::wstring*>(Texts) += WindowText(Child) + L"|";
  return TRUE;
}

void CALLBACK AnswerModal(HWND, UINT, UINT_PTR Timer, DWORD) {
  HWND Dialog = ::FindWindowW(L"#32770", nullptr);
  if (Dialog == nullptr)
    return;
  ::KillTimer(nullptr, Timer);
  ModalSeen.Caption = WindowText(Dialog);
  ::EnumChildWindows(Dialog, &CollectText, reinterpret_cast<LPARAM>(&ModalSeen.Texts));
  ModalSeen.OwnerEnabled = ::IsWindowEnabled(ModalSeen.Main) != FALSE;
  if (!ModalSeen.Type.empty())
    ::SetDlgItemTextW(Dialog, IDC_QUERY_VALUE, ModalSeen.Type.c_str());
  ::PostMessageW(Dialog, WM_COMMAND, MAKEWPARAM(ModalSeen.Press, BN_CLICKED), 0);
}

} // namespace

TEST_F(UiTest, TheRealMessageBoxesAndInputQueryAskAndAnswer) {
  auto Answer = [&](int Press, std::wstring Type, auto&& Show) {
    ModalSeen = {};
    ModalSeen.Main = Window().Handle();
    ModalSeen.Press = Press;
    ModalSeen.Type = std::move(Type);
    UINT_PTR Timer = ::SetTimer(nullptr, 0, 50, &AnswerModal);
    auto Result = Show();
    ::KillTimer(nullptr, Timer);
    return Result;
  };
  ui::TWinMessageBoxes Boxes;
  EXPECT_EQ(
      Answer(IDNO, L"", [&] { return Boxes.Show(L"Sure?", L"", TMsgButtons::YesNo, TMsgIcon::Question); }),
      TMsgResult::No);
  EXPECT_FALSE(ModalSeen.Caption.empty()); // the system's default title
  EXPECT_NE(ModalSeen.Texts.find(L"Sure?|"), std::wstring::npos);
  EXPECT_FALSE(ModalSeen.OwnerEnabled); // the program's windows take no input meanwhile

  EXPECT_EQ(
      Answer(IDCANCEL, L"",
             [&] { return Boxes.Show(L"Save?", L"Title", TMsgButtons::YesNoCancel, TMsgIcon::Question); }),
      TMsgResult::Cancel);
  EXPECT_EQ(ModalSeen.Caption, L"Title");
  EXPECT_TRUE(::IsWindowEnabled(Window().Handle()));

  ui::TWinInputQuery Query;
  Query.Owner = Window().Handle();
  std::wstring Value = L"New Song";
  EXPECT_TRUE(Answer(IDOK, L"Wåltz",
                     [&] { return Query.Query(L"New Description", L"Enter the new song name", Value); }));
  EXPECT_EQ(ModalSeen.Caption, L"New Description");
  EXPECT_EQ(ModalSeen.Texts, L"Enter the new song name|New Song|");
  EXPECT_EQ(Value, L"Wåltz");
  EXPECT_FALSE(Answer(IDCANCEL, L"Other", [&] { return Query.Query(L"New Description", L"Prompt", Value); }));
  EXPECT_EQ(Value, L"Wåltz");
}

TEST_F(UiTest, EnterPressesTheFocusedButtonAndTheFocusNeverStaysInAHiddenControl) {
  Open();
  Select({0, 0, 0});
  ::SetFocus(C().btnDescrAdd);
  ::PostMessageW(C().btnDescrAdd, WM_KEYDOWN, VK_RETURN, 1);
  Pump();
  ASSERT_EQ(Input.Asked.size(), 1u) << "Enter did not press the button";

  // Delete Sample hides the details while an edit of theirs has the focus, and the focus that the window
  // gives back when it is activated again must not go there either.
  ::SetFocus(C().edtSinger);
  ASSERT_EQ(::GetFocus(), C().edtSinger);
  ::SendMessageW(Window().Handle(), WM_ACTIVATE, WA_INACTIVE, 0);
  Command(Form().actStreamDeleteSample);
  ASSERT_FALSE(::IsWindowVisible(C().pnlDetails));
  EXPECT_EQ(::GetFocus(), C().treeFiles);
  ::SetFocus(nullptr);
  ::SendMessageW(Window().Handle(), WM_SETFOCUS, 0, 0);
  EXPECT_EQ(::GetFocus(), C().treeFiles);
}

TEST_F(UiTest, ToolTipsTakeTheNewFontWhenTheDpiChanges) {
  HWND ToolBarTips = reinterpret_cast<HWND>(::SendMessageW(C().tbrStrandard, TB_GETTOOLTIPS, 0, 0));
  for (UINT Dpi : {144u, 96u}) {
    RECT Suggested{0, 0, static_cast<LONG>(820 * Dpi / 96), static_cast<LONG>(580 * Dpi / 96)};
    ::SendMessageW(Window().Handle(), WM_DPICHANGED, MAKEWPARAM(Dpi, Dpi),
                   reinterpret_cast<LPARAM>(&Suggested));
    // A tool tip keeps a copy of the font it is given: the sizes are compared.
    auto Height = [](HWND Control) {
      LOGFONTW Font{};
      ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(Control, WM_GETFONT, 0, 0)), sizeof Font, &Font);
      return Font.lfHeight;
    };
    EXPECT_EQ(Height(Window().Hints().ToolTip()), Height(C().treeFiles)) << Dpi;
    EXPECT_EQ(Height(ToolBarTips), Height(C().treeFiles)) << Dpi;
  }
}
