#include "ui/BatchWindow.h"
#include "ui/Dpi.h"
#include "ui/ListCellTip.h"
#include "ui/RunForm.h"

#include <algorithm>
#include <commctrl.h>
#include <memory>

namespace ui {

namespace {

class TBatchForm : public TRunForm {
public:
  TBatchForm(HWND Owner, TBatchWindowModel& Run)
      : TRunForm(Owner, 480, 260), FRun(Run), ColumnCount(static_cast<int>(Run.Columns.size())) {
    // Wide enough for every column at its width, beside the frame and the list's scroll bar.
    int Columns = 0;
    for (const TBatchWindowModel::TColumn& Column : Run.Columns)
      Columns += Column.Width;
    RECT Frame{0, 0, S(std::max(900, Columns + 40)), S(460)};
    if (Owner != nullptr) {
      RECT Over;
      ::GetWindowRect(Owner, &Over);
      ::OffsetRect(&Frame, (Over.left + Over.right - Frame.right) / 2,
                   (Over.top + Over.bottom - Frame.bottom) / 2);
    }
    Create(BatchWindowClass, WS_EX_CONTROLPARENT | WS_EX_DLGMODALFRAME,
           WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN, FRun.Caption.c_str(),
           Frame.left, Frame.top, Frame.right - Frame.left, Frame.bottom - Frame.top, Owner);
    CreateControls();
    Bind();
    Start(FStart);
  }
  ~TBatchForm() override {
    FTip.reset();
    FRun.Wake = nullptr;
    FRun.RowChanged = nullptr;
    for (auto* Changed :
         {&FRun.Progress.Changed, &FRun.Status.Changed, &FRun.btnStart.Changed, &FRun.btnCancel.Changed})
      *Changed = nullptr;
    if (FRun.Check != nullptr)
      FRun.Check->Changed = nullptr;
    if (FRun.Choice != nullptr)
      FRun.Choice->Changed = nullptr;
    if (FRun.RowAction != nullptr)
      FRun.RowAction->Changed = nullptr;
  }

protected:
  LRESULT HandleMessage(UINT Message, WPARAM WParam, LPARAM LParam) override {
    switch (Message) {
    case WM_COMMAND:
      OnCommand(LOWORD(WParam), HIWORD(WParam));
      return 0;
    case WM_NOTIFY:
      if (reinterpret_cast<NMHDR*>(LParam)->hwndFrom == FList)
        OnListNotify(*reinterpret_cast<NMHDR*>(LParam));
      break;
    case WM_CLOSE:
      Cancel();
      return 0;
    }
    return TRunForm::HandleMessage(Message, WParam, LParam);
  }

private:
  void CreateControls() {
    if (FRun.Check != nullptr) {
      FMatch = Add(WC_BUTTONW, FRun.Check->Caption().c_str(), WS_TABSTOP | BS_AUTOCHECKBOX, IDC_BATCH_MATCH);
    } else if (FRun.Choice != nullptr) {
      FChoiceLabel = Add(WC_STATICW, FRun.ChoiceLabel.c_str(), SS_LEFT | SS_CENTERIMAGE, -1);
      FChoice = Add(WC_COMBOBOXW, L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, IDC_BATCH_CHOICE);
      for (int I = 0; I < FRun.Choice->Count(); ++I)
        ::SendMessageW(FChoice, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(FRun.Choice->Items(I).c_str()));
    }
    if (FRun.RowAction != nullptr)
      FRowAction =
          Add(WC_BUTTONW, FRun.RowAction->Caption().c_str(), WS_TABSTOP | BS_PUSHBUTTON, IDC_BATCH_ROWACTION);
    // Rows are selected one at a time unless a button acts on several.
    FList = Add(WC_LISTVIEWW, L"",
                WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | (FRun.RowAction == nullptr ? LVS_SINGLESEL : 0),
                IDC_BATCH_LIST, WS_EX_CLIENTEDGE);
    ::SendMessageW(FList, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
    for (int I = 0; I < ColumnCount; ++I) {
      LVCOLUMNW Column{};
      Column.mask = LVCF_TEXT | LVCF_WIDTH;
      Column.pszText = const_cast<wchar_t*>(FRun.Columns[static_cast<size_t>(I)].Caption);
      Column.cx = S(FRun.Columns[static_cast<size_t>(I)].Width);
      ::SendMessageW(FList, LVM_INSERTCOLUMNW, static_cast<WPARAM>(I), reinterpret_cast<LPARAM>(&Column));
    }
    for (size_t Row = 0; Row < FRun.RowCount(); ++Row) {
      LVITEMW Item{};
      Item.mask = LVIF_TEXT;
      Item.iItem = static_cast<int>(Row);
      Item.pszText = const_cast<wchar_t*>(L"");
      ::SendMessageW(FList, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&Item));
      ShowRow(Row);
    }
    FTip = std::make_unique<TListCellTip>(Handle(), FList, FFont, S(600));
    FProgress = Add(PROGRESS_CLASSW, L"", 0, IDC_BATCH_PROGRESS);
    ::SendMessageW(FProgress, PBM_SETRANGE32, 0, 1000);
    FStatus = Add(WC_STATICW, L"", SS_LEFTNOWORDWRAP | SS_ENDELLIPSIS | SS_NOPREFIX, IDC_BATCH_STATUS);
    FStart = Add(WC_BUTTONW, FRun.btnStart.Caption().c_str(), WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK);
    FCancel = Add(WC_BUTTONW, FRun.btnCancel.Caption().c_str(), WS_TABSTOP | BS_PUSHBUTTON, IDCANCEL);
  }

  // Each model shows in its control from now on; the run wakes the window by a posted message, at most one
  // waiting at a time.
  void Bind() {
    FRun.RowChanged = [this](size_t Row) {
      ShowRow(Row);
      ::SendMessageW(FList, LVM_ENSUREVISIBLE, Row, FALSE);
    };
    if (FRun.Check != nullptr)
      FRun.Check->Changed = [this] { ShowMatch(); };
    if (FRun.Choice != nullptr)
      FRun.Choice->Changed = [this] { ShowChoice(); };
    if (FRun.RowAction != nullptr)
      FRun.RowAction->Changed = [this] { ShowRowAction(); };
    FRun.Progress.Changed = [this] {
      ::SendMessageW(FProgress, PBM_SETPOS, static_cast<WPARAM>(FRun.Progress.Permille()), 0);
    };
    FRun.Status.Changed = [this] { ::SetWindowTextW(FStatus, FRun.Status.Text().c_str()); };
    FRun.btnStart.Changed = [this] {
      ShowButton(FStart, FRun.btnStart);
      ShowChoice();
    };
    FRun.btnCancel.Changed = [this] { ShowButton(FCancel, FRun.btnCancel); };
    FRun.Wake = Waker();
    ShowMatch();
    ShowChoice();
    ShowRowAction();
    FRun.Status.Changed();
  }

  // The last column fills what the others leave of the list's width.
  void StretchLastColumn() {
    RECT Client;
    ::GetClientRect(FList, &Client);
    int Others = 0;
    for (int Column = 0; Column + 1 < ColumnCount; ++Column)
      Others += static_cast<int>(::SendMessageW(FList, LVM_GETCOLUMNWIDTH, Column, 0));
    int Width = std::max<int>(S(FRun.Columns.back().Width), Client.right - Others);
    ::SendMessageW(FList, LVM_SETCOLUMNWIDTH, ColumnCount - 1, Width);
  }

  void ShowRow(size_t Row) {
    for (int Column = 0; Column < ColumnCount; ++Column) {
      const std::wstring Text = FRun.Cell(Row, static_cast<size_t>(Column));
      LVITEMW Item{};
      Item.iSubItem = Column;
      Item.pszText = const_cast<wchar_t*>(Text.c_str());
      ::SendMessageW(FList, LVM_SETITEMTEXTW, Row, reinterpret_cast<LPARAM>(&Item));
    }
  }

  void ShowMatch() {
    if (FRun.Check == nullptr)
      return;
    ::SetWindowTextW(FMatch, FRun.Check->Caption().c_str());
    ::SendMessageW(FMatch, BM_SETCHECK, FRun.Check->Checked() ? BST_CHECKED : BST_UNCHECKED, 0);
    ::EnableWindow(FMatch, FRun.Check->Enabled());
  }

  // The list to choose from can be changed until the run starts.
  void ShowChoice() {
    if (FRun.Choice == nullptr)
      return;
    ::SendMessageW(FChoice, CB_SETCURSEL, static_cast<WPARAM>(FRun.Choice->ItemIndex()), 0);
    ::EnableWindow(FChoice, FRun.btnStart.Enabled());
  }

  void ShowRowAction() {
    if (FRowAction == nullptr)
      return;
    bool Focused = ::GetFocus() == FRowAction;
    ::EnableWindow(FRowAction, FRun.RowAction->Enabled());
    if (Focused && !FRun.RowAction->Enabled())
      ::SetFocus(FList);
  }

  // The list's selection goes to the run as it changes; a double click acts on the row.
  void OnListNotify(const NMHDR& Notice) {
    if (Notice.code == LVN_ITEMCHANGED &&
        (reinterpret_cast<const NMLISTVIEW&>(Notice).uChanged & LVIF_STATE) != 0) {
      std::vector<size_t> Selected;
      for (int Row = -1; (Row = static_cast<int>(::SendMessageW(
                              FList, LVM_GETNEXTITEM, static_cast<WPARAM>(Row), LVNI_SELECTED))) >= 0;)
        Selected.push_back(static_cast<size_t>(Row));
      FRun.SelectRows(std::move(Selected));
    } else if (Notice.code == NM_DBLCLK && FRowAction != nullptr && ::IsWindowEnabled(FRowAction)) {
      FRun.RowActionClick();
    }
  }

  void ShowButton(HWND Button, const TActionModel& Model) {
    ::SetWindowTextW(Button, Model.Caption().c_str());
    bool Focused = ::GetFocus() == Button;
    ::EnableWindow(Button, Model.Enabled());
    // A disabled button loses the keys: they go to the one that can still be pressed.
    if (Focused && !Model.Enabled()) {
      HWND Other = Button == FStart ? FCancel : FStart;
      ::SendMessageW(Button, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
      ::SendMessageW(Other, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
      ::SetFocus(Other);
    }
  }

  void OnCommand(int Id, int Code) {
    if (Id == IDOK && ::IsWindowEnabled(FStart)) {
      FRun.btnStartClick();
    } else if (Id == IDCANCEL) {
      Cancel();
    } else if (Id == IDC_BATCH_MATCH && Code == BN_CLICKED) {
      FRun.Check->SetChecked(::SendMessageW(FMatch, BM_GETCHECK, 0, 0) == BST_CHECKED);
    } else if (Id == IDC_BATCH_ROWACTION && Code == BN_CLICKED && ::IsWindowEnabled(FRowAction)) {
      FRun.RowActionClick();
    } else if (Id == IDC_BATCH_CHOICE && Code == CBN_SELCHANGE) {
      FRun.Choice->UserSelect(static_cast<int>(::SendMessageW(FChoice, CB_GETCURSEL, 0, 0)));
    }
  }

  void Cancel() {
    if (::IsWindowEnabled(FCancel) && FRun.btnCancelClick())
      FClosed = true;
  }

  void Poll() override { FRun.Poll(); }

  void LayOut() override {
    RECT Client;
    ::GetClientRect(Handle(), &Client);
    int W = Client.right, H = Client.bottom, M = S(8), Button = S(84), Height = S(25);
    int Bottom = H - M - Height;
    const int RowButton = FRowAction != nullptr ? S(120) : 0;
    if (FMatch != nullptr)
      ::MoveWindow(FMatch, M, M, W - 2 * M - (RowButton > 0 ? RowButton + M : 0), S(20), TRUE);
    if (FRowAction != nullptr)
      ::MoveWindow(FRowAction, W - M - RowButton, M - S(3), RowButton, S(24), TRUE);
    if (FChoice != nullptr) {
      ::MoveWindow(FChoiceLabel, M, M, S(60), S(22), TRUE);
      // A drop-down list's height holds its open list.
      ::MoveWindow(FChoice, M + S(64), M, S(220), S(200), TRUE);
    }
    ::MoveWindow(FList, M, M + S(26), W - 2 * M, Bottom - M - S(22) - (M + S(26)) - M, TRUE);
    StretchLastColumn();
    ::MoveWindow(FProgress, M, Bottom - M - S(18), W - 2 * M, S(16), TRUE);
    ::MoveWindow(FStatus, M, Bottom + S(4), W - 4 * M - 2 * Button, S(20), TRUE);
    ::MoveWindow(FStart, W - 2 * (M + Button), Bottom, Button, Height, TRUE);
    ::MoveWindow(FCancel, W - M - Button, Bottom, Button, Height, TRUE);
  }

  TBatchWindowModel& FRun;
  const int ColumnCount;
  HWND FMatch = nullptr, FChoiceLabel = nullptr, FChoice = nullptr, FList = nullptr, FProgress = nullptr,
       FStatus = nullptr, FStart = nullptr, FCancel = nullptr, FRowAction = nullptr;
  std::unique_ptr<TListCellTip> FTip;
};

} // namespace

void TWinBatchWindow::ShowModal(TBatchWindowModel& Run) {
  TBatchForm Form(Owner, Run);
  RunModal(
      Owner, Form.Handle(), [&] { return Form.Closed(); }, [&] { Run.StopAndWait(); });
}

} // namespace ui
