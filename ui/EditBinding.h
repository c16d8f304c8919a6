#pragma once
// Mirrors an edit model into a Win32 edit box with the model's length limit; what the user types goes to
// the model, which runs its change event.

#include "app/Controls.h"

#include <string>
#include <windows.h>

namespace ui {

class TEditBinding {
public:
  TEditBinding(HWND Edit, TEditModel& Model);
  ~TEditBinding();
  TEditBinding(const TEditBinding&) = delete;
  TEditBinding& operator=(const TEditBinding&) = delete;

  // A WM_COMMAND of the edit box; true when handled.
  bool Command(HWND From, int Code);

private:
  void Sync();
  std::wstring ControlText() const;

  HWND FEdit;
  TEditModel& FModel;
  bool FSyncing = false;
};

} // namespace ui
