#include "ui/LevelsWindow.h"
#include "ui/Dpi.h"
#include "ui/ListCellTip.h"
#include "ui/RunForm.h"

#include <algorithm>
#include <cmath>
#include <commctrl.h>
#include <memory>

namespace ui {

namespace {

// The loudness a level bar's half width stands for (LU).
constexpr double BarRange = 12;

class TLevelsForm : public TRunForm {
public:
  TLevelsForm(HWND Owner, TLevelsWindow& Model) : TRunForm(Owner, 640, 300), FModel(Model) {
    RECT Frame = Placement(Owner);
    Create(LevelsWindowClass, WS_EX_CONTROLPARENT | WS_EX_DLGMODALFRAME,
           WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MAXIMIZEBOX | WS_CLIPCHILDREN,
           L"Soundtrack", Frame.left, Frame.top, Frame.right - Frame.left, Frame.bottom - Frame.top, Owner);
    CreateControls();
    Bind();
    Start(FList);
    FModel.Show();
  }
  ~TLevelsForm() override {
    FTip.reset();
    FModel.Wake = nullptr;
    FModel.RowChanged = nullptr;
    FModel.OrderChanged = nullptr;
    for (auto* Changed : {&FModel.Progress.Changed, &FModel.Status.Changed, &FModel.btnMatch.Changed,
                          &FModel.btnMeasure.Changed, &FModel.btnClose.Changed, &FModel.cboTarget.Changed})
      *Changed = nullptr;
  }

protected:
  LRESULT HandleMessage(UINT Message, WPARAM WParam, LPARAM LParam) override {
    switch (Message) {
    case WM_COMMAND:
      OnCommand(LOWORD(WParam), HIWORD(WParam));
      return 0;
    case WM_NOTIFY:
      return OnNotify(*reinterpret_cast<NMHDR*>(LParam));
    case WM_CLOSE:
      Close();
      return 0;
    }
    return TRunForm::HandleMessage(Message, WParam, LParam);
  }

private:
  // Over the owner's details, beside its tree, so that a double-click shows where the song is; within the
  // owner's monitor.
  RECT Placement(HWND Owner) const {
    RECT Frame{0, 0, S(1000), S(520)};
    if (Owner == nullptr)
      return Frame;
    RECT Over;
    ::GetWindowRect(Owner, &Over);
    MONITORINFO Monitor{};
    Monitor.cbSize = sizeof Monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(Owner, MONITOR_DEFAULTTONEAREST), &Monitor);
    const RECT& Work = Monitor.rcWork;
    const int X = std::max<int>(Work.left, std::min<int>(Over.left + S(270), Work.right - Frame.right));
    const int Y = std::max<int>(Work.top, std::min<int>(Over.top + S(60), Work.bottom - Frame.bottom));
    ::OffsetRect(&Frame, X, Y);
    return Frame;
  }

  void CreateControls() {
    FTargetLabel = Add(WC_STATICW, L"Match the selected songs' loudness to:", SS_LEFT | SS_CENTERIMAGE, -1);
    FTarget = Add(WC_COMBOBOXW, L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, IDC_LEVELS_TARGET);
    FValue = Add(WC_EDITW, FModel.edtTarget.Text().c_str(), WS_TABSTOP | ES_AUTOHSCROLL, IDC_LEVELS_VALUE,
                 WS_EX_CLIENTEDGE);
    ::SendMessageW(FValue, EM_LIMITTEXT, static_cast<WPARAM>(FModel.edtTarget.MaxLength), 0);
    FMatch = Add(WC_BUTTONW, FModel.btnMatch.Caption().c_str(), WS_TABSTOP | BS_PUSHBUTTON, IDC_LEVELS_MATCH);
    FMeasure =
        Add(WC_BUTTONW, FModel.btnMeasure.Caption().c_str(), WS_TABSTOP | BS_PUSHBUTTON, IDC_LEVELS_MEASURE);
    FList = Add(WC_LISTVIEWW, L"", WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS, IDC_LEVELS_LIST,
                WS_EX_CLIENTEDGE);
    ::SendMessageW(FList, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    FTip = std::make_unique<TListCellTip>(Handle(), FList, FFont, S(600));
    for (size_t I = 0; I < TLevelsWindow::ColumnCount; ++I) {
      const TLevelsWindow::TColumnInfo& Info = TLevelsWindow::Columns[I];
      LVCOLUMNW Column{};
      Column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
      Column.fmt = Info.Right ? LVCFMT_RIGHT : LVCFMT_LEFT;
      Column.pszText = const_cast<wchar_t*>(Info.Caption);
      Column.cx = S(Info.Width);
      ::SendMessageW(FList, LVM_INSERTCOLUMNW, I, reinterpret_cast<LPARAM>(&Column));
    }
    for (size_t Position = 0; Position < FModel.Order().size(); ++Position) {
      LVITEMW Item{};
      Item.mask = LVIF_TEXT | LVIF_PARAM;
      Item.iItem = static_cast<int>(Position);
      Item.pszText = LPSTR_TEXTCALLBACKW;
      Item.lParam = static_cast<LPARAM>(FModel.Order()[Position]);
      ::SendMessageW(FList, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&Item));
    }
    FProgress = Add(PROGRESS_CLASSW, L"", 0, IDC_LEVELS_PROGRESS);
    ::SendMessageW(FProgress, PBM_SETRANGE32, 0, 1000);
    FStatus = Add(WC_STATICW, L"", SS_LEFTNOWORDWRAP | SS_ENDELLIPSIS | SS_NOPREFIX, IDC_LEVELS_STATUS);
    FClose = Add(WC_BUTTONW, FModel.btnClose.Caption().c_str(), WS_TABSTOP | BS_PUSHBUTTON, IDCANCEL);
  }

  void Bind() {
    FModel.RowChanged = [this](size_t Row) { ShowRow(Row); };
    FModel.OrderChanged = [this] { ShowOrder(); };
    FModel.cboTarget.Changed = [this] { ShowTarget(); };
    FModel.Progress.Changed = [this] {
      ::SendMessageW(FProgress, PBM_SETPOS, static_cast<WPARAM>(FModel.Progress.Permille()), 0);
    };
    FModel.Status.Changed = [this] { ::SetWindowTextW(FStatus, FModel.Status.Text().c_str()); };
    FModel.btnMatch.Changed = [this] { ShowButton(FMatch, FModel.btnMatch); };
    FModel.btnMeasure.Changed = [this] { ShowButton(FMeasure, FModel.btnMeasure); };
    FModel.btnClose.Changed = [this] { ShowButton(FClose, FModel.btnClose); };
    FModel.Wake = Waker();
    ShowTarget();
    ShowSortMark();
    FModel.Status.Changed();
    FModel.btnMatch.Changed();
    FModel.btnMeasure.Changed();
  }

  int ItemOf(size_t Row) const {
    LVFINDINFOW Find{};
    Find.flags = LVFI_PARAM;
    Find.lParam = static_cast<LPARAM>(Row);
    return static_cast<int>(
        ::SendMessageW(FList, LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&Find)));
  }

  size_t RowOf(int Item) const {
    LVITEMW Query{};
    Query.mask = LVIF_PARAM;
    Query.iItem = Item;
    ::SendMessageW(FList, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&Query));
    return static_cast<size_t>(Query.lParam);
  }

  void ShowRow(size_t Row) {
    int Item = ItemOf(Row);
    if (Item >= 0)
      ::SendMessageW(FList, LVM_REDRAWITEMS, static_cast<WPARAM>(Item), Item);
  }

  // The items follow the model's order; the selection stays with its songs.
  void ShowOrder() {
    ::SendMessageW(FList, LVM_SORTITEMS, reinterpret_cast<WPARAM>(&FModel),
                   reinterpret_cast<LPARAM>(&ByPosition));
    ::InvalidateRect(FList, nullptr, FALSE);
    ShowSortMark();
  }

  static int CALLBACK ByPosition(LPARAM A, LPARAM B, LPARAM Model) {
    const auto& M = *reinterpret_cast<const TLevelsWindow*>(Model);
    const size_t X = M.PositionOf(static_cast<size_t>(A)), Y = M.PositionOf(static_cast<size_t>(B));
    return X < Y ? -1 : X > Y ? 1 : 0;
  }

  void ShowSortMark() {
    HWND Header = reinterpret_cast<HWND>(::SendMessageW(FList, LVM_GETHEADER, 0, 0));
    for (size_t I = 0; I < TLevelsWindow::ColumnCount; ++I) {
      HDITEMW Item{};
      Item.mask = HDI_FORMAT;
      ::SendMessageW(Header, HDM_GETITEMW, I, reinterpret_cast<LPARAM>(&Item));
      Item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
      if (I == FModel.SortColumn())
        Item.fmt |= FModel.SortDescending() ? HDF_SORTDOWN : HDF_SORTUP;
      ::SendMessageW(Header, HDM_SETITEMW, I, reinterpret_cast<LPARAM>(&Item));
    }
  }

  void ShowTarget() {
    const TComboModel& Combo = FModel.cboTarget;
    ::SendMessageW(FTarget, CB_RESETCONTENT, 0, 0);
    for (int I = 0; I < Combo.Count(); ++I)
      ::SendMessageW(FTarget, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Combo.Items(I).c_str()));
    ::SendMessageW(FTarget, CB_SETCURSEL, static_cast<WPARAM>(Combo.ItemIndex()), 0);
    ::EnableWindow(FValue, Combo.ItemIndex() == 1);
  }

  void ShowButton(HWND Button, const TActionModel& Model) {
    ::SetWindowTextW(Button, Model.Caption().c_str());
    bool Focused = ::GetFocus() == Button;
    ::EnableWindow(Button, Model.Enabled());
    if (Focused && !Model.Enabled())
      ::SetFocus(FList);
  }

  std::vector<size_t> SelectedRows() const {
    std::vector<size_t> Rows;
    for (int Item = -1; (Item = static_cast<int>(::SendMessageW(
                             FList, LVM_GETNEXTITEM, static_cast<WPARAM>(Item), LVNI_SELECTED))) >= 0;)
      Rows.push_back(RowOf(Item));
    return Rows;
  }

  LRESULT OnNotify(NMHDR& Header) {
    if (Header.hwndFrom != FList)
      return 0;
    switch (Header.code) {
    case LVN_GETDISPINFOW: {
      auto& Info = reinterpret_cast<NMLVDISPINFOW&>(Header);
      if ((Info.item.mask & LVIF_TEXT) != 0) {
        FCellText =
            FModel.Cell(static_cast<size_t>(Info.item.lParam), static_cast<size_t>(Info.item.iSubItem));
        Info.item.pszText = const_cast<wchar_t*>(FCellText.c_str());
      }
      return 0;
    }
    case LVN_ITEMCHANGED: {
      const auto& Change = reinterpret_cast<NMLISTVIEW&>(Header);
      if ((Change.uChanged & LVIF_STATE) != 0 && ((Change.uOldState ^ Change.uNewState) & LVIS_SELECTED) != 0)
        FModel.SelectionChange(SelectedRows());
      return 0;
    }
    case LVN_COLUMNCLICK:
      FModel.HeaderClick(static_cast<size_t>(reinterpret_cast<NMLISTVIEW&>(Header).iSubItem));
      return 0;
    case NM_DBLCLK: {
      const auto& Click = reinterpret_cast<NMITEMACTIVATE&>(Header);
      if (Click.iItem >= 0)
        FModel.RowDoubleClick(RowOf(Click.iItem));
      return 0;
    }
    case NM_CUSTOMDRAW:
      return OnCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW&>(Header));
    }
    return 0;
  }

  // A peak past the limit in red; the level column as a bar from the middle (the median) to the song's
  // loudness, louder to the right.
  LRESULT OnCustomDraw(NMLVCUSTOMDRAW& Draw) {
    switch (Draw.nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
      return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
      return CDRF_NOTIFYSUBITEMDRAW;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM:
      break;
    default:
      return CDRF_DODEFAULT;
    }
    const size_t Row = static_cast<size_t>(Draw.nmcd.lItemlParam);
    const bool Selected =
        (::SendMessageW(FList, LVM_GETITEMSTATE, Draw.nmcd.dwItemSpec, LVIS_SELECTED) & LVIS_SELECTED) != 0;
    // A selected row of the focused list is drawn in the highlight's colours, of a list without the focus
    // on the face colour.
    const bool Highlighted = Selected && ::GetFocus() == FList;
    if (Draw.iSubItem == static_cast<int>(TLevelsWindow::colLevel)) {
      DrawLevel(Draw.nmcd.hdc, static_cast<int>(Draw.nmcd.dwItemSpec), Row,
                Highlighted ? COLOR_HIGHLIGHT
                : Selected  ? COLOR_BTNFACE
                            : COLOR_WINDOW);
      return CDRF_SKIPDEFAULT;
    }
    Draw.clrText =
        Draw.iSubItem == static_cast<int>(TLevelsWindow::colPeak) && FModel.PeakOver(Row) && !Highlighted
            ? RGB(200, 0, 0)
            : CLR_DEFAULT;
    return CDRF_NEWFONT;
  }

  void DrawLevel(HDC Dc, int Item, size_t Row, int Background) {
    const bool Highlighted = Background == COLOR_HIGHLIGHT;
    RECT Cell{};
    Cell.top = static_cast<LONG>(TLevelsWindow::colLevel);
    Cell.left = LVIR_BOUNDS;
    ::SendMessageW(FList, LVM_GETSUBITEMRECT, static_cast<WPARAM>(Item), reinterpret_cast<LPARAM>(&Cell));
    ::FillRect(Dc, &Cell, ::GetSysColorBrush(Background));
    const int Middle = (Cell.left + Cell.right) / 2, Half = (Cell.right - Cell.left) / 2 - S(4);
    RECT Line{Middle, Cell.top + S(2), Middle + 1, Cell.bottom - S(2)};
    ::FillRect(Dc, &Line, ::GetSysColorBrush(Highlighted ? COLOR_HIGHLIGHTTEXT : COLOR_GRAYTEXT));
    const std::optional<double> Level = FModel.Level(Row);
    if (!Level || Half <= 0)
      return;
    const int Length = static_cast<int>(std::lround(std::clamp(*Level / BarRange, -1.0, 1.0) * Half));
    RECT Bar{std::min(Middle, Middle + Length), Cell.top + S(4), std::max(Middle, Middle + Length) + 1,
             Cell.bottom - S(4)};
    HBRUSH Brush =
        Highlighted ? nullptr : ::CreateSolidBrush(*Level >= 0 ? RGB(224, 122, 38) : RGB(52, 120, 198));
    ::FillRect(Dc, &Bar, Highlighted ? ::GetSysColorBrush(COLOR_HIGHLIGHTTEXT) : Brush);
    if (Brush != nullptr)
      ::DeleteObject(Brush);
    // The figure on the other side of the middle.
    const std::wstring Text = FModel.Cell(Row, TLevelsWindow::colLevel);
    RECT Room = *Level >= 0 ? RECT{Cell.left + S(4), Cell.top, Middle - S(4), Cell.bottom}
                            : RECT{Middle + S(4), Cell.top, Cell.right - S(4), Cell.bottom};
    ::SetBkMode(Dc, TRANSPARENT);
    ::SetTextColor(Dc, ::GetSysColor(Highlighted ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    HGDIOBJ Old = ::SelectObject(Dc, FFont);
    ::DrawTextW(Dc, Text.c_str(), static_cast<int>(Text.size()), &Room,
                DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | (*Level >= 0 ? DT_RIGHT : DT_LEFT));
    ::SelectObject(Dc, Old);
  }

  // The last column fills what the others leave of the list's width.
  void StretchLastColumn() {
    RECT Client;
    ::GetClientRect(FList, &Client);
    const int Last = static_cast<int>(TLevelsWindow::ColumnCount) - 1;
    int Others = 0;
    for (int Column = 0; Column < Last; ++Column)
      Others += static_cast<int>(::SendMessageW(FList, LVM_GETCOLUMNWIDTH, Column, 0));
    const int Width = std::max<int>(S(TLevelsWindow::Columns[Last].Width), Client.right - Others);
    ::SendMessageW(FList, LVM_SETCOLUMNWIDTH, Last, Width);
  }

  void OnCommand(int Id, int Code) {
    if (Id == IDCANCEL) {
      Close();
    } else if (Id == IDC_LEVELS_MATCH && Code == BN_CLICKED) {
      FModel.btnMatchClick();
    } else if (Id == IDC_LEVELS_MEASURE && Code == BN_CLICKED) {
      FModel.btnMeasureClick();
    } else if (Id == IDC_LEVELS_TARGET && Code == CBN_SELCHANGE) {
      FModel.cboTarget.UserSelect(static_cast<int>(::SendMessageW(FTarget, CB_GETCURSEL, 0, 0)));
      ShowTarget();
    } else if (Id == IDC_LEVELS_VALUE && Code == EN_CHANGE) {
      wchar_t Text[64] = {};
      ::GetWindowTextW(FValue, Text, 64);
      FModel.edtTarget.SetText(Text);
    }
  }

  void Close() {
    if (::IsWindowEnabled(FClose) && FModel.btnCloseClick())
      FClosed = true;
  }

  void Poll() override { FModel.Poll(); }

  void LayOut() override {
    RECT Client;
    ::GetClientRect(Handle(), &Client);
    const int W = Client.right, H = Client.bottom, M = S(8), Height = S(25), Button = S(110);
    int X = M;
    ::MoveWindow(FTargetLabel, X, M, S(230), Height, TRUE);
    X += S(234);
    // A drop-down list's height holds its open list.
    ::MoveWindow(FTarget, X, M + S(1), S(250), S(200), TRUE);
    X += S(256);
    ::MoveWindow(FValue, X, M + S(1), S(60), S(23), TRUE);
    X += S(68);
    ::MoveWindow(FMatch, X, M, Button, Height, TRUE);
    ::MoveWindow(FMeasure, W - M - S(84), M, S(84), Height, TRUE);
    const int Bottom = H - M - Height, Top = M + Height + M;
    ::MoveWindow(FList, M, Top, W - 2 * M, Bottom - M - S(22) - Top - M, TRUE);
    StretchLastColumn();
    ::MoveWindow(FProgress, M, Bottom - M - S(18), W - 2 * M, S(16), TRUE);
    ::MoveWindow(FStatus, M, Bottom + S(4), W - 3 * M - S(84), S(20), TRUE);
    ::MoveWindow(FClose, W - M - S(84), Bottom, S(84), Height, TRUE);
  }

  TLevelsWindow& FModel;
  HWND FTargetLabel = nullptr, FTarget = nullptr, FValue = nullptr, FMatch = nullptr, FMeasure = nullptr,
       FList = nullptr, FProgress = nullptr, FStatus = nullptr, FClose = nullptr;
  std::wstring FCellText; // the text of the cell the list asked for last
  std::unique_ptr<TListCellTip> FTip;
};

} // namespace

void TWinLevelsWindow::ShowModal(TLevelsWindow& Window) {
  TLevelsForm Form(Owner, Window);
  RunModal(
      Owner, Form.Handle(), [&] { return Form.Closed(); }, [&] { Window.StopAndWait(); });
}

} // namespace ui
