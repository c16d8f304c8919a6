#pragma once
// Per-monitor DPI: the window's DPI (96 where the system cannot tell), lengths scaled from 96 DPI, and the
// system's message font at a given DPI.

#include <windows.h>

namespace ui {

UINT WindowDpi(HWND Window);
inline int Scale(int Length, UINT Dpi) {
  return ::MulDiv(Length, static_cast<int>(Dpi), 96);
}
// The system's message font for Dpi; the caller deletes it.
HFONT CreateMessageFont(UINT Dpi);

} // namespace ui
