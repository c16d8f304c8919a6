#include "ui/ComboBinding.h"

namespace ui {

TComboBinding::TComboBinding(HWND Combo, TComboModel& Model) : FCombo(Combo), FModel(Model) {
  FModel.Changed = [this] { Sync(); };
  Sync();
}

TComboBinding::~TComboBinding() {
  FModel.Changed = nullptr;
}

void TComboBinding::Sync() {
  std::vector<std::wstring> Items;
  for (int I = 0; I < FModel.Count(); ++I)
    Items.push_back(FModel.Items(I));
  if (Items != FShown) {
    ::SendMessageW(FCombo, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(FCombo, CB_RESETCONTENT, 0, 0);
    ::SendMessageW(FCombo, CB_INITSTORAGE, Items.size(),
                   static_cast<LPARAM>(Items.size() * 16 * sizeof(wchar_t)));
    for (const std::wstring& Item : Items)
      ::SendMessageW(FCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Item.c_str()));
    ::SendMessageW(FCombo, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(FCombo, nullptr, TRUE);
    FShown = std::move(Items);
  }
  // Setting the selection from code sends no CBN_SELCHANGE, as the model expects.
  if (::SendMessageW(FCombo, CB_GETCURSEL, 0, 0) != FModel.ItemIndex())
    ::SendMessageW(FCombo, CB_SETCURSEL, static_cast<WPARAM>(FModel.ItemIndex()), 0);
}

bool TComboBinding::Command(HWND From, int Code) {
  if (From != FCombo)
    return false;
  if (Code == CBN_SELCHANGE)
    FModel.UserSelect(static_cast<int>(::SendMessageW(FCombo, CB_GETCURSEL, 0, 0)));
  return true;
}

} // namespace ui
