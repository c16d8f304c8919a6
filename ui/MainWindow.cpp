#include "ui/MainWindow.h"
#include "app/Messages.h"
#include "ui/AboutBox.h"
#include "ui/Dpi.h"
#include "ui/ErrorGuard.h"
#include "ui/PaintingConverterRunner.h"
#include "ui/Resources.h"

#include <algorithm>
#include <commctrl.h>
#include <shellapi.h>
#include <tuple>

namespace ui {

namespace {

constexpr const wchar_t* DescriptionGroupCaption = L"Selected description";
constexpr const wchar_t* StreamGroupCaption = L"Current Archive";
constexpr int DropDownRows = 16;

bool IsPushButton(HWND Window) {
  wchar_t Class[16] = {};
  ::GetClassNameW(Window, Class, 16);
  LONG_PTR Type = ::GetWindowLongPtrW(Window, GWL_STYLE) & BS_TYPEMASK;
  return ::lstrcmpiW(Class, WC_BUTTONW) == 0 && (Type == BS_PUSHBUTTON || Type == BS_DEFPUSHBUTTON);
}

std::wstring OwnHelpFile() {
  wchar_t Buffer[MAX_PATH];
  std::wstring Path(Buffer, ::GetModuleFileNameW(nullptr, Buffer, MAX_PATH));
  size_t Dot = Path.find_last_of(L'.');
  size_t Slash = Path.find_last_of(L"\\/");
  if (Dot != std::wstring::npos && (Slash == std::wstring::npos || Dot > Slash))
    Path.resize(Dot);
  return Path + L".chm";
}

} // namespace

TMainWindow::TMainWindow(const TServices& Services)
    : FServices(Services), FForm(std::make_unique<TfrmORVStreams>(Services)), FHelpFile(OwnHelpFile()) {
  HICON Icon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_PROGRAM));
  Create(L"TfrmORVStreams", WS_EX_CONTROLPARENT, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, msg::ApplicationTitle,
         CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, Icon);
  FDpi = WindowDpi(Handle());
  FHints = std::make_unique<THints>(Handle());
  FHints->OnHint = [this](const std::wstring& Hint) { FForm->ApplicationEventsHint(Hint); };
  BindActions();
  CreateControls();
  BindModels();
  SetDpi(FDpi);
  ::SetWindowPos(Handle(), nullptr, 0, 0, S(820), S(580), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ::SetFocus(FControls.treeFiles);
  ::DragAcceptFiles(Handle(), TRUE);
}

TMainWindow::~TMainWindow() {
  FClosing = true;
  if (Handle() != nullptr)
    ::DestroyWindow(Handle());
  if (FAccelerators != nullptr)
    ::DestroyAcceleratorTable(FAccelerators);
  if (FImages != nullptr)
    ::ImageList_Destroy(FImages);
  if (FFont != nullptr)
    ::DeleteObject(FFont);
}

int TMainWindow::S(int Length) const {
  return Scale(Length, FDpi);
}

// ---- actions ----

void TMainWindow::BindActions() {
  TfrmORVStreams& F = *FForm;
  auto Run = [&F](void (TfrmORVStreams::*Handler)()) { return [&F, Handler] { (F.*Handler)(); }; };
  FActions.Add(F.actFileOpen, Run(&TfrmORVStreams::actFileOpenExecute));
  FActions.Add(F.actFileSave, Run(&TfrmORVStreams::actFileSaveExecute), L"&Save");
  FActions.Add(F.actFileUpdatePreload, Run(&TfrmORVStreams::actFileUpdatePreloadExecute));
  FActions.Add(F.actFileRestoreOriginal, Run(&TfrmORVStreams::actFileRestoreOriginalExecute),
               L"&Restore Original Music...");
  FActions.Add(F.actFileExportPack, Run(&TfrmORVStreams::actFileExportPackExecute),
               L"&Export Soundtrack Pack...");
  FActions.Add(F.actFileApplyPack, Run(&TfrmORVStreams::actFileApplyPackExecute),
               L"&Apply Soundtrack Pack...");
  FActions.Add(F.actFileExportSoundtrack, Run(&TfrmORVStreams::actFileExportSoundtrackExecute),
               L"Export Sound&track...");
  FActions.Add(F.actFileExit, [this] { ::SendMessageW(Handle(), WM_CLOSE, 0, 0); });
  FActions.Add(F.actEditUndo, Run(&TfrmORVStreams::actEditUndoExecute), L"&Undo");
  FActions.Add(F.actEditRedo, Run(&TfrmORVStreams::actEditRedoExecute), L"&Redo");
  FActions.Add(F.actViewSoundtrack, Run(&TfrmORVStreams::actViewSoundtrackExecute), L"&Soundtrack...");
  FActions.Add(F.actSamplePreview, Run(&TfrmORVStreams::actSamplePreviewExecute), L"&Preview");
  FActions.Add(F.actSampleImport, Run(&TfrmORVStreams::actSampleImportExecute), L"&Import...");
  FActions.Add(F.actSampleExport, Run(&TfrmORVStreams::actSampleExportExecute), L"&Export...");
  FActions.Add(F.actStreamAddSample, Run(&TfrmORVStreams::actStreamAddSampleExecute), L"&Add Sample");
  FActions.Add(F.actStreamDeleteSample, Run(&TfrmORVStreams::actStreamDeleteSampleExecute),
               L"&Delete Sample");
  FActions.Add(F.actStreamImportSongs, Run(&TfrmORVStreams::actStreamImportSongsExecute),
               L"&Import Songs...");
  // The help system owns the two help actions; they stay disabled and run nothing here.
  FActions.Add(F.actHelpContents, nullptr);
  FActions.Add(F.actHelpWhatsThis, nullptr, L"&What's This?");
  FActions.Add(F.actHelpAbout, [this] { actHelpAboutExecute(); });

  ::SetMenu(
      Handle(),
      FActions.CreateMenuBar({
          {L"&File",
           {&F.actFileOpen, &F.actFileSave, nullptr, &F.actFileExportSoundtrack, nullptr,
            &F.actFileRestoreOriginal, &F.actFileExportPack, &F.actFileApplyPack, nullptr, &F.actFileExit}},
          {L"&Edit", {&F.actEditUndo, &F.actEditRedo}},
          {L"&View", {&F.actViewSoundtrack}},
          {L"&Sample", {&F.actSamplePreview, nullptr, &F.actSampleImport, &F.actSampleExport}},
          {L"S&tream", {&F.actStreamAddSample, &F.actStreamDeleteSample, nullptr, &F.actStreamImportSongs}},
          {L"&Help", {&F.actHelpContents, &F.actHelpWhatsThis, nullptr, &F.actHelpAbout}},
      }));
  FAccelerators = FActions.CreateAccelerators();
}

void TMainWindow::actHelpAboutExecute() {
  auto Box = std::make_unique<TfrmAboutBox>(Handle());
  frmAboutBox = Box.get();
  struct TForget {
    ~TForget() { frmAboutBox = nullptr; }
  } Forget;
  Box->ShowModal();
}

// ---- controls ----

HWND TMainWindow::AddControl(HWND Parent, const wchar_t* Class, const wchar_t* Text, DWORD Style,
                             DWORD ExStyle) {
  return ::CreateWindowExW(ExStyle, Class, Text, WS_CHILD | WS_VISIBLE | Style, 0, 0, 0, 0, Parent, nullptr,
                           ::GetModuleHandleW(nullptr), nullptr);
}

HWND TMainWindow::AddButton(HWND Parent, const TButtonModel& Button, void (TfrmORVStreams::*Click)()) {
  HWND Handle = AddControl(Parent, WC_BUTTONW, Button.Caption.c_str(), WS_TABSTOP | BS_PUSHBUTTON);
  FHints->Add(Handle, Button.Hint);
  FButtons.emplace_back(Handle, Click);
  return Handle;
}

HWND TMainWindow::AddLabel(HWND Parent, const TLabelModel& Label) {
  // SS_NOTIFY lets the label receive the mouse, for its hint.
  HWND Handle = AddControl(Parent, WC_STATICW, Label.Caption.c_str(), SS_LEFT | SS_NOTIFY);
  FHints->Add(Handle, Label.Hint);
  return Handle;
}

void TMainWindow::CreateControls() {
  CreateToolBar();
  FControls.treeFiles = AddControl(
      Handle(), WC_TREEVIEWW, L"",
      WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS, WS_EX_CLIENTEDGE);
  FSplitter = std::make_unique<TSplitter>(Handle());
  FSplitter->OnMoved = [this](int Left) {
    RECT Client;
    ::GetClientRect(Handle(), &Client);
    int Most = static_cast<int>(Client.right) - S(200);
    FTreeWidth = ::MulDiv(std::max(S(60), std::min(Left, Most)), 96, static_cast<int>(FDpi));
    LayOut();
  };
  CreateDetails();
  FControls.StatusBar = AddControl(Handle(), STATUSCLASSNAMEW, L"", SBARS_SIZEGRIP);
  int OnePanel = -1;
  ::SendMessageW(FControls.StatusBar, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(&OnePanel));
  FControls.StatusProgress =
      ::CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD, 0, 0, 0, 0, FControls.StatusBar, nullptr,
                        ::GetModuleHandleW(nullptr), nullptr);
  ::SendMessageW(FControls.StatusProgress, PBM_SETRANGE32, 0, 1000);
}

void TMainWindow::CreateDetails() {
  TfrmORVStreams& F = *FForm;
  TMainControls& C = FControls;
  FDetails = std::make_unique<TPanel>(Handle(), 0);
  C.pnlDetails = FDetails->Handle();
  C.lblDescriptions = AddLabel(C.pnlDetails, F.lblDescriptions);
  C.cmbDescriptions = AddControl(C.pnlDetails, WC_COMBOBOXW, L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST);
  FHints->Add(C.cmbDescriptions, F.cmbDescriptions.Hint);
  C.btnDescrAdd = AddButton(C.pnlDetails, F.btnDescrAdd, &TfrmORVStreams::btnDescrAddClick);
  C.btnDescRemove = AddButton(C.pnlDetails, F.btnDescRemove, &TfrmORVStreams::btnDescRemoveClick);

  FDescriptionGroup = std::make_unique<TPanel>(C.pnlDetails, 0);
  C.grpDescription = FDescriptionGroup->Handle();
  C.grpDescriptionFrame = AddControl(C.grpDescription, WC_BUTTONW, DescriptionGroupCaption, BS_GROUPBOX);
  for (auto [Label, Edit, Model, Text] : {std::tuple{&C.lblSinger, &C.edtSinger, &F.edtSinger, &F.lblSinger},
                                          std::tuple{&C.lblAlbum, &C.edtAlbum, &F.edtAlbum, &F.lblAlbum},
                                          std::tuple{&C.lblName, &C.edtName, &F.edtName, &F.lblName}}) {
    *Label = AddLabel(C.grpDescription, *Text);
    *Edit = AddControl(C.grpDescription, WC_EDITW, L"", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE);
  }

  C.lblStreams = AddLabel(C.pnlDetails, F.lblStreams);
  C.cmbStreams = AddControl(C.pnlDetails, WC_COMBOBOXW, L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST);
  FStreamGroup = std::make_unique<TPanel>(C.pnlDetails, 0);
  C.grpStream = FStreamGroup->Handle();
  ::ShowWindow(C.grpStream, SW_SHOW);
  C.grpStreamFrame = AddControl(C.grpStream, WC_BUTTONW, StreamGroupCaption, BS_GROUPBOX);
  C.lblFiles = AddLabel(C.grpStream, F.lblFiles);
  C.cmbFiles = AddControl(C.grpStream, WC_COMBOBOXW, L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST);
  FHints->Add(C.cmbFiles, F.cmbFiles.Hint);
  C.btnAddFile = AddButton(C.grpStream, F.btnAddFile, &TfrmORVStreams::btnAddFileClick);
  C.btnRemoveFile = AddButton(C.grpStream, F.btnRemoveFile, &TfrmORVStreams::btnRemoveFileClick);
  for (HWND Combo : {C.cmbDescriptions, C.cmbStreams, C.cmbFiles})
    ::SendMessageW(Combo, CB_SETMINVISIBLE, DropDownRows, 0);
  FSong = std::make_unique<TSongView>(C.pnlDetails, F.picSong);
  C.picSong = FSong->Strip();
  C.lblSong = FSong->Line();
}

void TMainWindow::BindModels() {
  TfrmORVStreams& F = *FForm;
  TMainControls& C = FControls;
  FTree = std::make_unique<TTreeBinding>(C.treeFiles, F.treeFiles);
  FCombos.push_back(std::make_unique<TComboBinding>(C.cmbDescriptions, F.cmbDescriptions));
  FCombos.push_back(std::make_unique<TComboBinding>(C.cmbStreams, F.cmbStreams));
  FCombos.push_back(std::make_unique<TComboBinding>(C.cmbFiles, F.cmbFiles));
  FEdits.push_back(std::make_unique<TEditBinding>(C.edtSinger, F.edtSinger));
  FEdits.push_back(std::make_unique<TEditBinding>(C.edtAlbum, F.edtAlbum));
  FEdits.push_back(std::make_unique<TEditBinding>(C.edtName, F.edtName));
  auto Show = [this](HWND Window, TVisibility& Model) {
    Model.Changed = [this, Window, &Model] {
      // A hidden control would keep the focus and take the keys unseen: the tree takes it over.
      HWND Focus = ::GetFocus();
      if (!Model.Visible() && (Focus == Window || ::IsChild(Window, Focus)))
        ::SetFocus(FControls.treeFiles);
      ::ShowWindow(Window, Model.Visible() ? SW_SHOW : SW_HIDE);
    };
    Model.Changed();
  };
  Show(C.pnlDetails, F.pnlDetails);
  Show(C.grpDescription, F.grpDescription);
  F.StatusProgress.Changed = [this] {
    HWND Bar = FControls.StatusProgress;
    ::SendMessageW(Bar, PBM_SETPOS, static_cast<WPARAM>(FForm->StatusProgress.Permille()), 0);
    ::ShowWindow(Bar, FForm->StatusProgress.Visible() ? SW_SHOW : SW_HIDE);
    ::UpdateWindow(FControls.StatusBar);
    PaintPending();
  };
  F.StatusBar.Changed = [this] {
    ::SendMessageW(FControls.StatusBar, SB_SETTEXTW, 0,
                   reinterpret_cast<LPARAM>(FForm->StatusBar.Text().c_str()));
    // Workflows write their status in the middle of a handler: it must show before the work goes on.
    ::UpdateWindow(FControls.StatusBar);
  };
}

// ---- messages ----

bool TMainWindow::PreTranslate(MSG& Message) {
  if (Message.message == WM_MOUSEMOVE || Message.message == WM_NCMOUSEMOVE ||
      Message.message == WM_MOUSELEAVE)
    FHints->MouseMoved(Message);
  if (Message.message == WM_KEYDOWN && UndoKey(Message))
    return true;
  if (FAccelerators != nullptr && ::TranslateAcceleratorW(Handle(), FAccelerators, &Message))
    return true;
  // Enter presses the push button that has the focus, as in a dialog.
  if (Message.message == WM_KEYDOWN && Message.wParam == VK_RETURN && IsPushButton(Message.hwnd) &&
      ::IsChild(Handle(), Message.hwnd)) {
    ::SendMessageW(Message.hwnd, BM_CLICK, 0, 0);
    return true;
  }
  return Message.message == WM_KEYDOWN && Message.wParam == VK_TAB && ::IsDialogMessageW(Handle(), &Message);
}

// Ctrl+Z in a text box first takes back the box's own typing, as Windows does, and only then the editor's
// last step; Ctrl+Shift+Z is Redo besides Ctrl+Y.
bool TMainWindow::UndoKey(const MSG& Message) {
  bool Ctrl = ::GetKeyState(VK_CONTROL) < 0, Shift = ::GetKeyState(VK_SHIFT) < 0;
  if (Message.wParam != 'Z' || !Ctrl || ::GetKeyState(VK_MENU) < 0)
    return false;
  if (Shift) {
    FActions.Execute(FActions.CommandOf(FForm->actEditRedo));
    return true;
  }
  wchar_t Class[16] = {};
  ::GetClassNameW(Message.hwnd, Class, 16);
  if (::IsChild(Handle(), Message.hwnd) && ::lstrcmpiW(Class, WC_EDITW) == 0 &&
      ::SendMessageW(Message.hwnd, EM_CANUNDO, 0, 0) != 0) {
    ::SendMessageW(Message.hwnd, EM_UNDO, 0, 0);
    // A second Ctrl+Z would redo the box's typing; it goes to the editor's history instead.
    ::SendMessageW(Message.hwnd, EM_EMPTYUNDOBUFFER, 0, 0);
    // Wine's edit control says nothing of the text its undo put back; its binding hears of it here.
    OnCommand(MAKEWPARAM(::GetDlgCtrlID(Message.hwnd), EN_CHANGE), reinterpret_cast<LPARAM>(Message.hwnd));
    return true;
  }
  return false;
}

void TMainWindow::Idle() {
  FForm->ApplicationEventsIdle();
}

bool TMainWindow::OnCommand(WPARAM WParam, LPARAM LParam) {
  auto From = reinterpret_cast<HWND>(LParam);
  int Code = HIWORD(WParam);
  if (From == nullptr || From == FControls.tbrStrandard)
    return FActions.Execute(LOWORD(WParam));
  for (auto& [Button, Click] : FButtons)
    if (Button == From) {
      if (Code == BN_CLICKED)
        ((*FForm).*Click)();
      return true;
    }
  for (auto& Combo : FCombos)
    if (Combo->Command(From, Code))
      return true;
  for (auto& Edit : FEdits)
    if (Edit->Command(From, Code))
      return true;
  return false;
}

LRESULT TMainWindow::OnNotify(NMHDR& Header) {
  if (FTree != nullptr && FTree->Notify(Header))
    return 0;
  if (Header.code == TTN_GETDISPINFOW &&
      Header.hwndFrom ==
          reinterpret_cast<HWND>(::SendMessageW(FControls.tbrStrandard, TB_GETTOOLTIPS, 0, 0))) {
    const TActionModel* Action = FActions.ActionOf(static_cast<int>(Header.idFrom));
    FToolTipText = Action != nullptr ? ShortHint(Action->Hint()) : L"";
    reinterpret_cast<NMTTDISPINFOW&>(Header).lpszText = FToolTipText.data();
  }
  return 0;
}

// Files dropped from Explorer go to the tree's item under the drop point, or to the selected one when the
// drop is elsewhere in the window.
void TMainWindow::OnDropFiles(HDROP Drop) {
  std::vector<std::wstring> Paths;
  UINT Count = ::DragQueryFileW(Drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT I = 0; I < Count; ++I) {
    std::wstring Path(::DragQueryFileW(Drop, I, nullptr, 0) + 1, L'\0');
    Path.resize(::DragQueryFileW(Drop, I, Path.data(), static_cast<UINT>(Path.size())));
    Paths.push_back(Path);
  }
  TVHITTESTINFO Hit{};
  ::DragQueryPoint(Drop, &Hit.pt);
  ::DragFinish(Drop);
  // While a modal window is up, the window takes no drops.
  if (!::IsWindowEnabled(Handle()))
    return;
  ::MapWindowPoints(Handle(), FControls.treeFiles, &Hit.pt, 1);
  TTreeNode* Node = FForm->treeFiles.Selected();
  if (::SendMessageW(FControls.treeFiles, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&Hit)) != 0 &&
      (Hit.flags & TVHT_ONITEM) != 0) {
    TVITEMW Item{};
    Item.mask = TVIF_PARAM;
    Item.hItem = Hit.hItem;
    ::SendMessageW(FControls.treeFiles, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&Item));
    Node = reinterpret_cast<TTreeNode*>(Item.lParam);
  }
  ::SetForegroundWindow(Handle());
  FForm->treeFilesDropFiles(Node, Paths);
}

void TMainWindow::OnMenuSelect(WPARAM WParam, LPARAM LParam) {
  UINT Flags = HIWORD(WParam);
  const TActionModel* Action = nullptr;
  if (!(Flags == 0xFFFF && LParam == 0) && (Flags & (MF_POPUP | MF_SEPARATOR)) == 0)
    Action = FActions.ActionOf(LOWORD(WParam));
  FHints->SetHint(Action != nullptr ? Action->Hint() : L"");
}

LRESULT TMainWindow::HandleMessage(UINT Message, WPARAM WParam, LPARAM LParam) {
  if (FClosing && (Message == WM_COMMAND || Message == WM_NOTIFY))
    return 0;
  switch (Message) {
  case WM_COMMAND:
    if (OnCommand(WParam, LParam))
      return 0;
    break;
  case WM_NOTIFY:
    return OnNotify(*reinterpret_cast<NMHDR*>(LParam));
  case WM_MENUSELECT:
    OnMenuSelect(WParam, LParam);
    return 0;
  case WM_DROPFILES:
    OnDropFiles(reinterpret_cast<HDROP>(WParam));
    return 0;
  case WM_SIZE:
    LayOut();
    return 0;
  case WM_GETMINMAXINFO:
    reinterpret_cast<MINMAXINFO*>(LParam)->ptMinTrackSize = {S(560), S(460)};
    return 0;
  case WM_DPICHANGED: {
    SetDpi(HIWORD(WParam));
    const RECT& Suggested = *reinterpret_cast<RECT*>(LParam);
    ::SetWindowPos(Handle(), nullptr, Suggested.left, Suggested.top, Suggested.right - Suggested.left,
                   Suggested.bottom - Suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    return 0;
  }
  case WM_SETCURSOR:
    if (FServices.Screen != nullptr && FServices.Screen->Cursor() == TCursor::HourGlass) {
      ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
      return TRUE;
    }
    break;
  case WM_ACTIVATE:
    // The control that had the focus gets it back when the window is activated again.
    if (LOWORD(WParam) == WA_INACTIVE && ::IsChild(Handle(), ::GetFocus()))
      FFocused = ::GetFocus();
    break;
  case WM_SETFOCUS:
    ::SetFocus(FFocused != nullptr && ::IsChild(Handle(), FFocused) && ::IsWindowVisible(FFocused)
                   ? FFocused
                   : FControls.treeFiles);
    return 0;
  case WM_ENTERMENULOOP:
    FHints->SetHint(L"");
    break;
  case WM_CLOSE:
    if (FForm->TntFormCloseQuery())
      ::DestroyWindow(Handle());
    return 0;
  case WM_QUERYENDSESSION:
    return FForm->TntFormCloseQuery() ? TRUE : FALSE;
  case WM_ENDSESSION:
    if (WParam)
      ::DestroyWindow(Handle());
    return 0;
  case WM_DESTROY:
    FClosing = true;
    if (OnDestroyed)
      OnDestroyed();
    return 0;
  }
  return TWindow::HandleMessage(Message, WParam, LParam);
}

} // namespace ui
