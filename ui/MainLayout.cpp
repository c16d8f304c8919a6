// The arrangement of the main window: the tool bar at the top, the status bar at the bottom, the tree on
// the left with the splitter, the details panel filling the rest; every length is given at 96 DPI and
// scaled to the window's DPI.
#include "ui/Dpi.h"
#include "ui/MainWindow.h"
#include "ui/Resources.h"

#include <algorithm>
#include <commctrl.h>

namespace ui {

namespace {

constexpr int ImageCount = 15;
constexpr int TreeIndent = 19;

// The strip drawn for the size nearest above the scaled 16 pixels, so that no image is stretched.
int ToolBarImageSize(UINT Dpi) {
  int Wanted = Scale(16, Dpi);
  return Wanted <= 19 ? 16 : Wanted <= 27 ? 24 : 32;
}

int StripResource(int Size) {
  return Size == 16 ? IDB_TOOLBAR16 : Size == 24 ? IDB_TOOLBAR24 : IDB_TOOLBAR32;
}

void Place(HWND Window, int X, int Y, int Width, int Height) {
  ::SetWindowPos(Window, nullptr, X, Y, std::max(Width, 0), std::max(Height, 0),
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

int Height(HWND Window) {
  RECT Rect;
  ::GetWindowRect(Window, &Rect);
  return static_cast<int>(Rect.bottom - Rect.top);
}

BOOL CALLBACK SetFontOf(HWND Child, LPARAM Font) {
  ::SendMessageW(Child, WM_SETFONT, static_cast<WPARAM>(Font), TRUE);
  return TRUE;
}

} // namespace

void TMainWindow::CreateToolBar() {
  FControls.tbrStrandard =
      AddControl(Handle(), TOOLBARCLASSNAMEW, L"", TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_TOP);
  TfrmORVStreams& F = *FForm;
  FActions.FillToolBar(FControls.tbrStrandard,
                       {&F.actFileOpen, &F.actFileSave, nullptr, &F.actSamplePreview, &F.actSampleImport,
                        &F.actSampleExport, nullptr, &F.actEditUndo, &F.actEditRedo, nullptr,
                        &F.actStreamAddSample, &F.actStreamDeleteSample});
  FHints->SetToolBar(FControls.tbrStrandard, [this](int Command) {
    const TActionModel* Action = FActions.ActionOf(Command);
    return Action != nullptr ? Action->Hint() : std::wstring();
  });
}

void TMainWindow::SetDpi(UINT Dpi) {
  FDpi = Dpi;
  HFONT OldFont = FFont;
  FFont = CreateMessageFont(Dpi);
  ::EnumChildWindows(Handle(), &SetFontOf, reinterpret_cast<LPARAM>(FFont));
  // The tool tips are pop-ups, not children: they take the font here, before the old one is deleted.
  for (HWND Tip : {FHints->ToolTip(),
                   reinterpret_cast<HWND>(::SendMessageW(FControls.tbrStrandard, TB_GETTOOLTIPS, 0, 0))})
    if (Tip != nullptr)
      ::SendMessageW(Tip, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
  if (OldFont != nullptr)
    ::DeleteObject(OldFont);

  int Size = ToolBarImageSize(Dpi);
  HIMAGELIST Images = ::ImageList_Create(Size, Size, ILC_COLOR24 | ILC_MASK, ImageCount, 0);
  auto Strip =
      static_cast<HBITMAP>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(StripResource(Size)),
                                        IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  ::ImageList_AddMasked(Images, Strip, RGB(255, 0, 255));
  ::DeleteObject(Strip);
  ::SendMessageW(FControls.tbrStrandard, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(Images));
  ::SendMessageW(FControls.tbrStrandard, TB_SETBUTTONSIZE, 0, MAKELPARAM(Size + S(8), Size + S(7)));
  if (FImages != nullptr)
    ::ImageList_Destroy(FImages);
  FImages = Images;
  ::SendMessageW(FControls.treeFiles, TVM_SETINDENT, static_cast<WPARAM>(S(TreeIndent)), 0);
  LayOut();
}

void TMainWindow::LayOut() {
  if (FControls.StatusBar == nullptr)
    return;
  RECT Client;
  ::GetClientRect(Handle(), &Client);
  ::SendMessageW(FControls.tbrStrandard, TB_AUTOSIZE, 0, 0);
  ::SendMessageW(FControls.StatusBar, WM_SIZE, 0, 0);
  int Top = Height(FControls.tbrStrandard);
  int Bottom = static_cast<int>(Client.bottom) - Height(FControls.StatusBar);
  // The progress bar sits at the right end of the status bar, clear of the size grip.
  int StatusHeight = Height(FControls.StatusBar);
  Place(FControls.StatusProgress, std::max(0, static_cast<int>(Client.right) - S(240)), S(3), S(200),
        std::max(1, StatusHeight - S(6)));
  int Width = static_cast<int>(Client.right);
  int Tree = std::min(S(FTreeWidth), std::max(Width - S(200), S(60)));
  int Bar = S(4);
  Place(FControls.treeFiles, 0, Top, Tree, Bottom - Top);
  Place(FSplitter->Handle(), Tree, Top, Bar, Bottom - Top);
  Place(FControls.pnlDetails, Tree + Bar, Top, Width - Tree - Bar, Bottom - Top);
  LayOutDetails(Width - Tree - Bar);
}

void TMainWindow::LayOutDetails(int Width) {
  const TMainControls& C = FControls;
  int M = S(8), Gap = S(6), ButtonW = S(75), ButtonH = S(25), EditH = S(23), LabelH = S(17);
  int Inner = Width - 2 * M;
  int ComboW = Inner - 2 * (ButtonW + Gap);
  int Y = M;
  Place(C.lblDescriptions, M, Y, Inner, LabelH);
  Y += LabelH + S(2);
  Place(C.cmbDescriptions, M, Y, ComboW, S(300));
  Place(C.btnDescrAdd, M + ComboW + Gap, Y - 1, ButtonW, ButtonH);
  Place(C.btnDescRemove, M + ComboW + 2 * Gap + ButtonW, Y - 1, ButtonW, ButtonH);
  Y += ButtonH + S(10);

  int GroupH = S(124);
  Place(C.grpDescription, M, Y, Inner, GroupH);
  Place(C.grpDescriptionFrame, 0, 0, Inner, GroupH);
  int Row = S(24);
  for (auto [Label, Edit] :
       {std::pair{C.lblSinger, C.edtSinger}, {C.lblAlbum, C.edtAlbum}, {C.lblName, C.edtName}}) {
    Place(Label, S(12), Row + S(4), S(60), LabelH);
    Place(Edit, S(76), Row, Inner - S(88), EditH);
    Row += EditH + S(9);
  }
  Y += GroupH + S(10);

  Place(C.lblStreams, M, Y, Inner, LabelH);
  Y += LabelH + S(2);
  Place(C.cmbStreams, M, Y, Inner, S(300));
  Y += ButtonH + S(12);

  int StreamH = S(82);
  Place(C.grpStream, M, Y, Inner, StreamH);
  Place(C.grpStreamFrame, 0, 0, Inner, StreamH);
  int FilesW = Inner - S(24) - 2 * (ButtonW + Gap);
  Place(C.lblFiles, S(12), S(22), FilesW, LabelH);
  Place(C.cmbFiles, S(12), S(42), FilesW, S(300));
  Place(C.btnAddFile, S(12) + FilesW + Gap, S(41), ButtonW, ButtonH);
  Place(C.btnRemoveFile, S(12) + FilesW + 2 * Gap + ButtonW, S(41), ButtonW, ButtonH);
  Y += StreamH + S(10);

  FSong->Place(M, Y, Inner, S(72), LabelH + S(2));
}

} // namespace ui
