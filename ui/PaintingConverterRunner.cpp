#include "ui/PaintingConverterRunner.h"

namespace ui {

namespace {

void DispatchOnly(UINT Message) {
  MSG Pending;
  while (::PeekMessageW(&Pending, nullptr, Message, Message, PM_REMOVE))
    ::DispatchMessageW(&Pending);
}

void DropInput() {
  MSG Pending;
  while (::PeekMessageW(&Pending, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE) ||
         ::PeekMessageW(&Pending, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
  }
}

} // namespace

void PaintPending() {
  DispatchOnly(WM_PAINT);
  DispatchOnly(WM_TIMER);
  DropInput();
}

void WaitPainting(HANDLE Process) {
  for (;;) {
    DWORD Woken = ::MsgWaitForMultipleObjects(1, &Process, FALSE, INFINITE, QS_PAINT | QS_TIMER | QS_INPUT);
    if (Woken != WAIT_OBJECT_0 + 1)
      return;
    PaintPending();
  }
}

bool TPaintingConverterRunner::ExecuteAndWait(const std::wstring& Program, const std::wstring& Parameters,
                                              const std::wstring& WorkingFolder, uint16_t ShowMode) {
  std::wstring CommandLine = L"\"" + Program + L"\" " + Parameters;
  STARTUPINFOW StartUp{};
  StartUp.cb = sizeof StartUp;
  StartUp.dwFlags = STARTF_USESHOWWINDOW;
  StartUp.wShowWindow = ShowMode;
  PROCESS_INFORMATION Process{};
  if (!::CreateProcessW(nullptr, CommandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS, nullptr, WorkingFolder.c_str(), &StartUp,
                        &Process))
    return false;
  ::CloseHandle(Process.hThread);
  WaitPainting(Process.hProcess);
  ::CloseHandle(Process.hProcess);
  return true;
}

} // namespace ui
