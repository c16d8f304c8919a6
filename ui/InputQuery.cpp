// The text-input dialog: a caption, a prompt, an edit with the initial text selected, OK and Cancel.
#include "ui/ErrorGuard.h"
#include "ui/Resources.h"
#include "ui/WinServices.h"
#include "ui/Window.h"

namespace ui {

namespace {

struct TQuery {
  const std::wstring& Caption;
  const std::wstring& Prompt;
  std::wstring& Value;
};

INT_PTR CALLBACK QueryProc(HWND Dialog, UINT Message, WPARAM WParam, LPARAM LParam) {
  INT_PTR Result = FALSE;
  Guarded([&] {
    if (Message == WM_INITDIALOG) {
      auto* Query = reinterpret_cast<TQuery*>(LParam);
      ::SetWindowLongPtrW(Dialog, DWLP_USER, LParam);
      ::SetWindowTextW(Dialog, Query->Caption.c_str());
      ::SetDlgItemTextW(Dialog, IDC_QUERY_PROMPT, Query->Prompt.c_str());
      ::SendDlgItemMessageW(Dialog, IDC_QUERY_VALUE, EM_LIMITTEXT, 255, 0);
      ::SetDlgItemTextW(Dialog, IDC_QUERY_VALUE, Query->Value.c_str());
      Result = TRUE; // the edit, first in the tab order, takes the focus with its text selected
    } else if (Message == WM_COMMAND && (LOWORD(WParam) == IDOK || LOWORD(WParam) == IDCANCEL)) {
      if (LOWORD(WParam) == IDOK)
        reinterpret_cast<TQuery*>(::GetWindowLongPtrW(Dialog, DWLP_USER))->Value =
            WindowText(::GetDlgItem(Dialog, IDC_QUERY_VALUE));
      ::EndDialog(Dialog, LOWORD(WParam));
      Result = TRUE;
    }
  });
  return Result;
}

} // namespace

bool TWinInputQuery::Query(const std::wstring& Caption, const std::wstring& Prompt, std::wstring& Value) {
  std::wstring Entered = Value;
  TQuery Query{Caption, Prompt, Entered};
  INT_PTR Pressed = ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_INPUTQUERY), Owner,
                                      &QueryProc, reinterpret_cast<LPARAM>(&Query));
  if (Pressed != IDOK)
    return false;
  Value = Entered;
  return true;
}

} // namespace ui
