#pragma once
// The application's hint: the control under the mouse (or the tool-bar button, or the highlighted menu
// item) gives the current hint; each change of it is reported, and a tool tip shows a control's short hint
// (the part before "|", or all of it).

#include <functional>
#include <string>
#include <unordered_map>
#include <windows.h>

namespace ui {

class THints {
public:
  explicit THints(HWND Owner);
  ~THints();
  THints(const THints&) = delete;
  THints& operator=(const THints&) = delete;

  // Gives Control its hint and a tool tip with the short part; an empty hint gives neither.
  void Add(HWND Control, const std::wstring& Hint);
  // The tool bar's buttons take their hints from HintOf(command id).
  void SetToolBar(HWND ToolBar, std::function<std::wstring(int)> HintOf);
  // A mouse message of the queue (WM_MOUSEMOVE, WM_NCMOUSEMOVE, WM_MOUSELEAVE): the hint becomes the one
  // of the control under the mouse, or none when the mouse is on the window's frame, title or menu bar or
  // has left the window.
  void MouseMoved(const MSG& Message);
  // The hint becomes Hint (a menu item highlighted, or the menu closed with an empty text).
  void SetHint(const std::wstring& Hint);
  const std::wstring& Hint() const { return FHint; }
  HWND ToolTip() const { return FToolTip; }

  // Runs with the whole hint whenever it changes.
  std::function<void(const std::wstring&)> OnHint;

private:
  std::wstring HintAt(HWND Window, LPARAM Position) const;

  HWND FOwner;
  HWND FToolTip;
  HWND FToolBar = nullptr;
  std::function<std::wstring(int)> FToolBarHint;
  std::unordered_map<HWND, std::wstring> FHints;
  std::wstring FHint;
};

// The part of a hint before its first "|", or the whole hint.
std::wstring ShortHint(const std::wstring& Hint);

} // namespace ui
