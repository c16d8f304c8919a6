// The trim-and-fade dialog: the songs' lengths, Start, End and Fade out, OK and Cancel.
#include "ui/ErrorGuard.h"
#include "ui/Resources.h"
#include "ui/WinServices.h"
#include "ui/Window.h"

namespace ui {

namespace {

struct TShapeQuery {
  const std::wstring& Lengths;
  TShapeFields& Fields;
};

constexpr std::pair<int, std::wstring TShapeFields::*> kFields[] = {{IDC_SHAPE_START, &TShapeFields::Start},
                                                                    {IDC_SHAPE_END, &TShapeFields::End},
                                                                    {IDC_SHAPE_FADE, &TShapeFields::FadeOut}};

INT_PTR CALLBACK ShapeProc(HWND Dialog, UINT Message, WPARAM WParam, LPARAM LParam) {
  INT_PTR Result = FALSE;
  Guarded([&] {
    if (Message == WM_INITDIALOG) {
      auto* Query = reinterpret_cast<TShapeQuery*>(LParam);
      ::SetWindowLongPtrW(Dialog, DWLP_USER, LParam);
      ::SetDlgItemTextW(Dialog, IDC_SHAPE_LENGTH, Query->Lengths.c_str());
      for (const auto& [Id, Field] : kFields) {
        ::SendDlgItemMessageW(Dialog, Id, EM_LIMITTEXT, 32, 0);
        ::SetDlgItemTextW(Dialog, Id, (Query->Fields.*Field).c_str());
      }
      Result = TRUE; // Start, first in the tab order, takes the focus with its text selected
    } else if (Message == WM_COMMAND && (LOWORD(WParam) == IDOK || LOWORD(WParam) == IDCANCEL)) {
      if (LOWORD(WParam) == IDOK) {
        auto* Query = reinterpret_cast<TShapeQuery*>(::GetWindowLongPtrW(Dialog, DWLP_USER));
        for (const auto& [Id, Field] : kFields)
          Query->Fields.*Field = WindowText(::GetDlgItem(Dialog, Id));
      }
      ::EndDialog(Dialog, LOWORD(WParam));
      Result = TRUE;
    }
  });
  return Result;
}

} // namespace

bool TWinShapeDialog::Execute(const std::wstring& Lengths, TShapeFields& Fields) {
  TShapeFields Entered = Fields;
  TShapeQuery Query{Lengths, Entered};
  // Over the window it was asked from: the batch window, itself modal over the main one.
  HWND Owner = ::GetActiveWindow();
  INT_PTR Pressed = ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SONGSHAPE), Owner,
                                      &ShapeProc, reinterpret_cast<LPARAM>(&Query));
  if (Pressed != IDOK)
    return false;
  Fields = Entered;
  return true;
}

} // namespace ui
