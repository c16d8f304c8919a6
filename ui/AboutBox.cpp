#include "ui/AboutBox.h"
#include "app/uAbout.h"
#include "ui/ErrorGuard.h"
#include "ui/Resources.h"

namespace ui {

TfrmAboutBox* frmAboutBox = nullptr;

void TfrmAboutBox::ShowModal() {
  ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUT), FOwner,
                    &TfrmAboutBox::DialogProc, reinterpret_cast<LPARAM>(this));
  FHandle = nullptr;
}

INT_PTR CALLBACK TfrmAboutBox::DialogProc(HWND Dialog, UINT Message, WPARAM WParam, LPARAM LParam) {
  INT_PTR Result = FALSE;
  Guarded([&] {
    switch (Message) {
    case WM_INITDIALOG: {
      auto* Box = reinterpret_cast<TfrmAboutBox*>(LParam);
      Box->FHandle = Dialog;
      ::SetWindowTextW(Dialog, about::Caption);
      ::SetDlgItemTextW(Dialog, IDC_ABOUT_TEXT, about::ProductAndVersion);
      Result = TRUE;
      break;
    }
    case WM_COMMAND:
      if (LOWORD(WParam) == IDOK || LOWORD(WParam) == IDCANCEL) {
        ::EndDialog(Dialog, LOWORD(WParam));
        Result = TRUE;
      }
      break;
    }
  });
  return Result;
}

} // namespace ui
