#include "ui/Window.h"
#include "ui/ErrorGuard.h"

#include <stdexcept>

namespace ui {

TWindow::~TWindow() {
  if (FHandle != nullptr) {
    ::SetWindowLongPtrW(FHandle, GWLP_USERDATA, 0);
    ::DestroyWindow(FHandle);
  }
}

void TWindow::Create(const wchar_t* ClassName, DWORD ExStyle, DWORD Style, const wchar_t* Title, int X, int Y,
                     int Width, int Height, HWND Parent, HICON Icon) {
  HINSTANCE Instance = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW Class{};
  if (!::GetClassInfoExW(Instance, ClassName, &Class)) {
    Class.cbSize = sizeof Class;
    Class.lpfnWndProc = &TWindow::Route;
    Class.hInstance = Instance;
    Class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    Class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    Class.hIcon = Icon;
    Class.hIconSm = Icon;
    Class.lpszClassName = ClassName;
    if (::RegisterClassExW(&Class) == 0)
      throw std::runtime_error("Cannot register a window class");
  }
  ::CreateWindowExW(ExStyle, ClassName, Title, Style, X, Y, Width, Height, Parent, nullptr, Instance, this);
  if (FHandle == nullptr)
    throw std::runtime_error("Cannot create a window");
}

LRESULT TWindow::HandleMessage(UINT Message, WPARAM WParam, LPARAM LParam) {
  return ::DefWindowProcW(FHandle, Message, WParam, LParam);
}

LRESULT CALLBACK TWindow::Route(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  if (Message == WM_NCCREATE) {
    auto* Owner = static_cast<TWindow*>(reinterpret_cast<CREATESTRUCTW*>(LParam)->lpCreateParams);
    Owner->FHandle = Window;
    ::SetWindowLongPtrW(Window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(Owner));
  }
  auto* Owner = reinterpret_cast<TWindow*>(::GetWindowLongPtrW(Window, GWLP_USERDATA));
  if (Owner == nullptr)
    return ::DefWindowProcW(Window, Message, WParam, LParam);
  if (Message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(Window, GWLP_USERDATA, 0);
    Owner->FHandle = nullptr;
    return ::DefWindowProcW(Window, Message, WParam, LParam);
  }
  LRESULT Result = 0;
  Guarded([&] { Result = Owner->HandleMessage(Message, WParam, LParam); });
  return Result;
}

HWND TWindow::AddChild(const wchar_t* Class, const wchar_t* Text, DWORD Style, int Id, HFONT Font,
                       DWORD ExStyle) {
  HWND Control = ::CreateWindowExW(ExStyle, Class, Text, WS_CHILD | WS_VISIBLE | Style, 0, 0, 0, 0, FHandle,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(Id)),
                                   ::GetModuleHandleW(nullptr), nullptr);
  ::SendMessageW(Control, WM_SETFONT, reinterpret_cast<WPARAM>(Font), FALSE);
  return Control;
}

std::wstring WindowText(HWND Window) {
  std::wstring Text(static_cast<size_t>(::GetWindowTextLengthW(Window)) + 1, L'\0');
  Text.resize(static_cast<size_t>(::GetWindowTextW(Window, Text.data(), static_cast<int>(Text.size()))));
  return Text;
}

void RunModal(HWND Owner, HWND Window, const std::function<bool()>& Closed,
              const std::function<void()>& Quitting) {
  bool Disabled = Owner != nullptr && !::EnableWindow(Owner, FALSE);
  MSG Message;
  while (!Closed()) {
    BOOL Got = ::GetMessageW(&Message, nullptr, 0, 0);
    if (Got == 0 || Got == -1) {
      Quitting();
      if (Got == 0)
        ::PostQuitMessage(static_cast<int>(Message.wParam));
      break;
    }
    if (::IsDialogMessageW(Window, &Message))
      continue;
    ::TranslateMessage(&Message);
    ::DispatchMessageW(&Message);
  }
  if (Disabled)
    ::EnableWindow(Owner, TRUE);
}

} // namespace ui
