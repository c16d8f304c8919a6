#include "tests/ui/UiFixture.h"
#include "base/Text.h"
#include "tests/fixtures/Bigf.h"
#include "tests/fixtures/Definition.h"
#include "ui/ErrorGuard.h"
#include "ui/MessageLoop.h"
#include "workflows/KeptOriginals.h"

#include <commctrl.h>

using namespace fixtures;

UiTest::UiTest(bool RealDialogs) {
  INITCOMMONCONTROLSEX Controls{sizeof Controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
  ::InitCommonControlsEx(&Controls);
  std::vector<BigfEntry> A = {{"a1.asf", Pattern(100, 1)}, {"a2.asf", Pattern(200, 2)}};
  std::vector<BigfEntry> B = {{"b1.asf", Pattern(80, 3)}};
  WriteFile(Dir.File("A.big"), MakeBigf(A));
  WriteFile(Dir.File("B.big"), MakeBigf(B));
  Definition Def;
  Def.Archives = {"A.big", "B.big"};
  Def.Descriptions = {{"Name0", "Singer0", "Album0"}, {"Name1", "Singer1", "Album1"}};
  Def.Streams = {{{BigfDataOffset(A, 0), 0, 0}, {BigfDataOffset(B, 0), 1, -1}, {BigfDataOffset(A, 1), 0, 1}},
                 {}};
  DefPath = Dir.File("streams.dat");
  WriteFile(DefPath, MakeDefinition(Def));
  // The user said No to keeping the original music: the window asks no more.
  TKeptOriginals(DefPath, "").Decline();

  TServices Services;
  Services.MessageBoxes = &Boxes;
  Services.InputQuery = &Input;
  Services.Dialogs = RealDialogs ? static_cast<IDialogs*>(&SystemDialogs) : &Dialogs;
  Services.Screen = &Screen;
  Services.Registry = &Registry;
  Services.Sound = &Sound;
  Services.Converter = &Runner;
  Services.ProgramFolder = Dir.Path();
  ui::SetErrorReportBoxes(&Boxes);
  FWindow = std::make_unique<ui::TMainWindow>(Services);
  SystemDialogs.Owner = FWindow->Handle();
  ::ShowWindow(FWindow->Handle(), SW_SHOW);
  Pump();
}

UiTest::~UiTest() {
  FWindow.reset();
  ui::SetErrorReportBoxes(nullptr);
  MSG Left;
  while (::PeekMessageW(&Left, nullptr, 0, 0, PM_REMOVE)) {
  }
}

void UiTest::Pump() {
  int ExitCode = 0;
  ui::ProcessMessages(*FWindow, ExitCode);
}

void UiTest::Command(const TActionModel& Action) {
  ::SendMessageW(FWindow->Handle(), WM_COMMAND, MAKEWPARAM(CommandOf(Action), 0), 0);
  Pump();
}

void UiTest::Open() {
  Dialogs.OpenAnswers.push_back(AnsiToWide(DefPath));
  Command(Form().actFileOpen);
}

void UiTest::PressCtrl(char Key, HWND To) {
  BYTE Keys[256];
  ::GetKeyboardState(Keys);
  BYTE Saved = Keys[VK_CONTROL];
  Keys[VK_CONTROL] = 0x80;
  ::SetKeyboardState(Keys);
  ::PostMessageW(To != nullptr ? To : C().treeFiles, WM_KEYDOWN, static_cast<WPARAM>(Key), 1);
  Pump();
  Keys[VK_CONTROL] = Saved;
  ::SetKeyboardState(Keys);
}

void UiTest::Select(std::initializer_list<int> Path) {
  HTREEITEM Item = nullptr;
  for (int Index : Path) {
    Item = Item == nullptr ? TreeView_GetRoot(C().treeFiles) : TreeView_GetChild(C().treeFiles, Item);
    for (int I = 0; I < Index; ++I)
      Item = TreeView_GetNextSibling(C().treeFiles, Item);
  }
  ASSERT_NE(Item, nullptr);
  TreeView_SelectItem(C().treeFiles, Item);
  Pump();
}

std::vector<std::string> UiTest::TreeViewLines() const {
  std::vector<std::string> Lines;
  HWND Tree = C().treeFiles;
  std::function<void(HTREEITEM, int)> Walk = [&](HTREEITEM Item, int Level) {
    for (; Item != nullptr; Item = TreeView_GetNextSibling(Tree, Item)) {
      wchar_t Buffer[256] = {};
      TVITEMW Info{};
      Info.mask = TVIF_TEXT;
      Info.hItem = Item;
      Info.pszText = Buffer;
      Info.cchTextMax = 256;
      TreeView_GetItem(Tree, &Info);
      Lines.push_back(std::to_string(Level) + ":" + WideToAnsi(Buffer));
      Walk(TreeView_GetChild(Tree, Item), Level + 1);
    }
  };
  Walk(TreeView_GetRoot(Tree), 0);
  return Lines;
}

std::vector<std::string> UiTest::ModelLines() const {
  std::vector<std::string> Lines;
  for (TTreeNode* Node : FWindow->Form().treeFiles.AllNodes())
    Lines.push_back(std::to_string(Node->Level()) + ":" + WideToAnsi(Node->Text));
  return Lines;
}

std::vector<std::wstring> UiTest::ComboItems(HWND Combo) const {
  std::vector<std::wstring> Items;
  int Count = static_cast<int>(::SendMessageW(Combo, CB_GETCOUNT, 0, 0));
  for (int I = 0; I < Count; ++I) {
    std::wstring Item(static_cast<size_t>(::SendMessageW(Combo, CB_GETLBTEXTLEN, I, 0)) + 1, L'\0');
    Item.resize(
        static_cast<size_t>(::SendMessageW(Combo, CB_GETLBTEXT, I, reinterpret_cast<LPARAM>(Item.data()))));
    Items.push_back(Item);
  }
  return Items;
}

std::wstring WindowText(HWND Window) {
  wchar_t Buffer[512] = {};
  ::GetWindowTextW(Window, Buffer, 512);
  return Buffer;
}

bool UiTest::ToolBarEnabled(const TActionModel& Action) const {
  return ::SendMessageW(C().tbrStrandard, TB_ISBUTTONENABLED, static_cast<WPARAM>(CommandOf(Action)), 0) != 0;
}

bool UiTest::MenuEnabled(const TActionModel& Action) const {
  UINT State =
      ::GetMenuState(::GetMenu(FWindow->Handle()), static_cast<UINT>(CommandOf(Action)), MF_BYCOMMAND);
  return State != static_cast<UINT>(-1) && (State & MF_GRAYED) == 0;
}
