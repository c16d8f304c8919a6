#include "ui/RunForm.h"

#include "ui/Dpi.h"

namespace ui {

namespace {
constexpr UINT RunWakeMessage = WM_APP + 1;
constexpr UINT_PTR RunPollTimer = 1;
constexpr UINT RunPollMilliseconds = 250;
} // namespace

TRunForm::TRunForm(HWND Owner, int MinWidth, int MinHeight)
    : FDpi(Owner != nullptr ? WindowDpi(Owner) : 96), FFont(CreateMessageFont(FDpi)), FMinWidth(MinWidth),
      FMinHeight(MinHeight) {}

TRunForm::~TRunForm() {
  if (FFont != nullptr)
    ::DeleteObject(FFont);
}

void TRunForm::Start(HWND Focus) {
  LayOut();
  ::SetTimer(Handle(), RunPollTimer, RunPollMilliseconds, nullptr);
  ::ShowWindow(Handle(), SW_SHOW);
  ::SetFocus(Focus);
}

std::function<void()> TRunForm::Waker() {
  return [this] {
    if (!FWakePosted.exchange(true))
      ::PostMessageW(Handle(), RunWakeMessage, 0, 0);
  };
}

int TRunForm::S(int Length) const {
  return Scale(Length, FDpi);
}

HWND TRunForm::Add(const wchar_t* Class, const wchar_t* Text, DWORD Style, int Id, DWORD ExStyle) {
  return AddChild(Class, Text, Style, Id, FFont, ExStyle);
}

LRESULT TRunForm::HandleMessage(UINT Message, WPARAM WParam, LPARAM LParam) {
  switch (Message) {
  case RunWakeMessage:
    FWakePosted = false;
    Poll();
    return 0;
  case WM_TIMER:
    if (WParam == RunPollTimer) {
      Poll();
      return 0;
    }
    break;
  case WM_SIZE:
    LayOut();
    // Maximised or restored, every control paints anew, not only those that moved.
    ::RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    return 0;
  case WM_GETMINMAXINFO:
    reinterpret_cast<MINMAXINFO*>(LParam)->ptMinTrackSize = {S(FMinWidth), S(FMinHeight)};
    return 0;
  }
  return TWindow::HandleMessage(Message, WParam, LParam);
}

} // namespace ui
