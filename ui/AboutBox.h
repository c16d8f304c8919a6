#pragma once
// The about box TfrmAboutBox: a fixed-size modal dialog, centred on the screen, with the program's icon
// and name and version in a bevelled panel, and a default button "OK".

#include <windows.h>

namespace ui {

class TfrmAboutBox {
public:
  explicit TfrmAboutBox(HWND Owner) : FOwner(Owner) {}
  // Shows the box modally until OK or Esc closes it.
  void ShowModal();
  // The dialog while it is shown, or nullptr.
  HWND Handle() const { return FHandle; }

private:
  static INT_PTR CALLBACK DialogProc(HWND Dialog, UINT Message, WPARAM WParam, LPARAM LParam);
  HWND FOwner;
  HWND FHandle = nullptr;
};

// The about box while it exists.
extern TfrmAboutBox* frmAboutBox;

} // namespace ui
