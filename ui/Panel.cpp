#include "ui/Panel.h"

namespace ui {

TPanel::TPanel(HWND Parent, int Id) {
  Create(L"ORVIKPanel", WS_EX_CONTROLPARENT, WS_CHILD | WS_CLIPSIBLINGS, L"", 0, 0, 0, 0, Parent);
  ::SetWindowLongPtrW(Handle(), GWLP_ID, Id);
}

LRESULT TPanel::HandleMessage(UINT Message, WPARAM WParam, LPARAM LParam) {
  switch (Message) {
  case WM_COMMAND:
  case WM_NOTIFY:
    return ::SendMessageW(::GetParent(Handle()), Message, WParam, LParam);
  default:
    return TWindow::HandleMessage(Message, WParam, LParam);
  }
}

} // namespace ui
