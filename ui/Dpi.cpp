#include "ui/Dpi.h"

namespace ui {

namespace {

// GetDpiForWindow exists from Windows 10 1607 on; older systems have one DPI for every monitor.
using TGetDpiForWindow = UINT(WINAPI*)(HWND);

TGetDpiForWindow GetDpiForWindowFunction() {
  static TGetDpiForWindow Function = reinterpret_cast<TGetDpiForWindow>(
      reinterpret_cast<void (*)()>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  return Function;
}

UINT SystemDpi() {
  HDC Screen = ::GetDC(nullptr);
  int Dpi = ::GetDeviceCaps(Screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, Screen);
  return Dpi > 0 ? static_cast<UINT>(Dpi) : 96;
}

} // namespace

UINT WindowDpi(HWND Window) {
  TGetDpiForWindow Function = GetDpiForWindowFunction();
  UINT Dpi = Function != nullptr && Window != nullptr ? Function(Window) : 0;
  return Dpi != 0 ? Dpi : SystemDpi();
}

HFONT CreateMessageFont(UINT Dpi) {
  NONCLIENTMETRICSW Metrics{};
  Metrics.cbSize = sizeof Metrics;
  ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof Metrics, &Metrics, 0);
  LOGFONTW Font = Metrics.lfMessageFont;
  // The system reports the font for its own DPI.
  Font.lfHeight = ::MulDiv(Font.lfHeight, static_cast<int>(Dpi), static_cast<int>(SystemDpi()));
  return ::CreateFontIndirectW(&Font);
}

} // namespace ui
