#include "ui/PaintingConverterRunner.h"
#include "platform/Process.h"

namespace ui {

namespace {

void DispatchOnly(UINT Message) {
  MSG Pending;
  while (::PeekMessageW(&Pending, nullptr, Message, Message, PM_REMOVE))
    ::DispatchMessageW(&Pending);
}

void DropInput() {
  MSG Pending;
  // Clicks on the title bar and the frame are input as well: kept, they would move or close the window
  // once the work is done.
  while (::PeekMessageW(&Pending, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE) ||
         ::PeekMessageW(&Pending, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE) ||
         ::PeekMessageW(&Pending, nullptr, WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK, PM_REMOVE)) {
  }
}

} // namespace

void PaintPending() {
  DispatchOnly(WM_PAINT);
  DispatchOnly(WM_TIMER);
  DropInput();
}

bool TPaintingConverterRunner::ExecuteAndWait(const std::wstring& Program, const std::wstring& Parameters,
                                              const std::wstring& WorkingFolder, uint16_t ShowMode,
                                              std::string& ErrorOutput) {
  return platform::ExecuteAndWait(Program, Parameters, WorkingFolder, ShowMode, PaintPending, &ErrorOutput);
}

} // namespace ui
