#pragma once
// Mirrors a combo model into a Win32 drop-down list; the user's choice runs the model's change event.

#include "app/Controls.h"

#include <string>
#include <vector>
#include <windows.h>

namespace ui {

class TComboBinding {
public:
  TComboBinding(HWND Combo, TComboModel& Model);
  ~TComboBinding();
  TComboBinding(const TComboBinding&) = delete;
  TComboBinding& operator=(const TComboBinding&) = delete;

  // A WM_COMMAND of the combo box; true when handled.
  bool Command(HWND From, int Code);

private:
  void Sync();

  HWND FCombo;
  TComboModel& FModel;
  std::vector<std::wstring> FShown;
};

} // namespace ui
