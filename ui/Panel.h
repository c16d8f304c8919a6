#pragma once
// A plain container for child controls. The notifications of its children (WM_COMMAND, WM_NOTIFY) go on to
// its parent, so the main window handles the events of every control however deeply it is placed.

#include "ui/Window.h"

namespace ui {

class TPanel : public TWindow {
public:
  TPanel(HWND Parent, int Id);

protected:
  LRESULT HandleMessage(UINT Message, WPARAM WParam, LPARAM LParam) override;
};

} // namespace ui
