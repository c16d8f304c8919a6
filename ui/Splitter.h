#pragma once
// A vertical bar between two controls that the user drags to resize the one on its left.

#include "ui/Window.h"

#include <functional>

namespace ui {

class TSplitter : public TWindow {
public:
  explicit TSplitter(HWND Parent);
  // Runs while dragging, with the bar's new left edge in the parent's client coordinates.
  std::function<void(int)> OnMoved;

protected:
  LRESULT HandleMessage(UINT Message, WPARAM WParam, LPARAM LParam) override;

private:
  int FGrab = -1; // where in the bar the mouse went down, -1 when not dragging
};

} // namespace ui
