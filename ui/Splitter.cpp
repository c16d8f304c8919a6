#include "ui/Splitter.h"

#include <windowsx.h>

namespace ui {

TSplitter::TSplitter(HWND Parent) {
  Create(L"ORVIKSplitter", 0, WS_CHILD | WS_VISIBLE, L"", 0, 0, 0, 0, Parent);
}

LRESULT TSplitter::HandleMessage(UINT Message, WPARAM WParam, LPARAM LParam) {
  switch (Message) {
  case WM_SETCURSOR:
    ::SetCursor(::LoadCursorW(nullptr, IDC_SIZEWE));
    return TRUE;
  case WM_LBUTTONDOWN:
    FGrab = GET_X_LPARAM(LParam);
    ::SetCapture(Handle());
    return 0;
  case WM_MOUSEMOVE:
    if (FGrab >= 0 && OnMoved) {
      POINT Point{GET_X_LPARAM(LParam), 0};
      ::MapWindowPoints(Handle(), ::GetParent(Handle()), &Point, 1);
      OnMoved(Point.x - FGrab);
    }
    return 0;
  case WM_LBUTTONUP:
  case WM_CAPTURECHANGED:
    if (FGrab >= 0) {
      FGrab = -1;
      ::ReleaseCapture();
    }
    return 0;
  default:
    return TWindow::HandleMessage(Message, WParam, LParam);
  }
}

} // namespace ui
