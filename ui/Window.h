#pragma once
// The base of the program's own windows: one static window procedure routes every message to the object
// that owns the window, inside the top-level error report.

#include <windows.h>

#include <functional>
#include <string>

namespace ui {

class TWindow {
public:
  virtual ~TWindow();
  TWindow(const TWindow&) = delete;
  TWindow& operator=(const TWindow&) = delete;

  HWND Handle() const { return FHandle; }

protected:
  TWindow() = default;
  // Registers ClassName once (button-face background, Icon may be null) and creates the window.
  void Create(const wchar_t* ClassName, DWORD ExStyle, DWORD Style, const wchar_t* Title, int X, int Y,
              int Width, int Height, HWND Parent, HICON Icon = nullptr);
  // Creates a visible child control of this window with the identifier Id, in Font, laid out later.
  HWND AddChild(const wchar_t* Class, const wchar_t* Text, DWORD Style, int Id, HFONT Font,
                DWORD ExStyle = 0);
  // Handles one message; the default handling is DefWindowProcW.
  virtual LRESULT HandleMessage(UINT Message, WPARAM WParam, LPARAM LParam);

private:
  static LRESULT CALLBACK Route(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam);
  HWND FHandle = nullptr;
};

// The text of a window or control.
std::wstring WindowText(HWND Window);

// Runs a modal window's own message loop until Closed says it has closed, its owner disabled meanwhile
// (and enabled again before the window goes, so that the owner is the one activated). Dialog keys reach
// Window. When the program is told to end, Quitting runs (a run on a thread stops after the songs in
// hand) and the quit goes on to the program's own loop.
void RunModal(HWND Owner, HWND Window, const std::function<bool()>& Closed,
              const std::function<void()>& Quitting);

} // namespace ui
