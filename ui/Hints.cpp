#include "ui/Hints.h"

#include <commctrl.h>

namespace ui {

std::wstring ShortHint(const std::wstring& Hint) {
  return Hint.substr(0, Hint.find(L'|'));
}

THints::THints(HWND Owner) : FOwner(Owner) {
  FToolTip = ::CreateWindowExW(
      WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Owner, nullptr, ::GetModuleHandleW(nullptr), nullptr);
}

THints::~THints() {
  if (::IsWindow(FToolTip))
    ::DestroyWindow(FToolTip);
}

void THints::Add(HWND Control, const std::wstring& Hint) {
  if (Hint.empty())
    return;
  FHints[Control] = Hint;
  std::wstring Text = ShortHint(Hint);
  TTTOOLINFOW Tool{};
  Tool.cbSize = sizeof Tool;
  Tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  Tool.hwnd = FOwner;
  Tool.uId = reinterpret_cast<UINT_PTR>(Control);
  Tool.lpszText = Text.data();
  ::SendMessageW(FToolTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&Tool));
}

void THints::SetToolBar(HWND ToolBar, std::function<std::wstring(int)> HintOf) {
  FToolBar = ToolBar;
  FToolBarHint = std::move(HintOf);
}

std::wstring THints::HintAt(HWND Window, LPARAM Position) const {
  if (Window == FToolBar && FToolBarHint) {
    POINT Point{static_cast<short>(LOWORD(Position)), static_cast<short>(HIWORD(Position))};
    int Index = static_cast<int>(::SendMessageW(FToolBar, TB_HITTEST, 0, reinterpret_cast<LPARAM>(&Point)));
    TBBUTTON Button{};
    if (Index < 0 || !::SendMessageW(FToolBar, TB_GETBUTTON, static_cast<WPARAM>(Index),
                                     reinterpret_cast<LPARAM>(&Button)))
      return L"";
    return (Button.fsStyle & BTNS_SEP) != 0 ? L"" : FToolBarHint(Button.idCommand);
  }
  // A control without a hint of its own shows the hint of the nearest parent that has one.
  for (HWND Control = Window; Control != nullptr && Control != FOwner; Control = ::GetParent(Control)) {
    auto Found = FHints.find(Control);
    if (Found != FHints.end())
      return Found->second;
  }
  return L"";
}

void THints::MouseMoved(const MSG& Message) {
  if (::GetAncestor(Message.hwnd, GA_ROOT) != FOwner)
    return;
  if (Message.message == WM_NCMOUSEMOVE) {
    // The title bar, the frame or the menu bar: nothing there has a hint. A control's own scroll bars and
    // borders keep the control's hint.
    if (Message.hwnd == FOwner)
      SetHint(L"");
    return;
  }
  if (Message.message == WM_MOUSELEAVE) {
    // Left for another part of the window, whose own mouse message sets its hint, or for elsewhere.
    POINT At;
    ::GetCursorPos(&At);
    HWND Under = ::WindowFromPoint(At);
    if (Under == nullptr || ::GetAncestor(Under, GA_ROOT) != FOwner)
      SetHint(L"");
    return;
  }
  // The control reports when the mouse leaves it, also when it leaves the window altogether.
  TRACKMOUSEEVENT Track{sizeof Track, TME_LEAVE, Message.hwnd, 0};
  ::TrackMouseEvent(&Track);
  SetHint(HintAt(Message.hwnd, Message.lParam));
}

void THints::SetHint(const std::wstring& Hint) {
  if (Hint == FHint)
    return;
  FHint = Hint;
  if (OnHint)
    OnHint(FHint);
}

} // namespace ui
