#include "ui/MessageLoop.h"
#include "ui/ErrorGuard.h"

namespace ui {

bool ProcessMessages(TMainWindow& Window, int& ExitCode) {
  MSG Message;
  while (::PeekMessageW(&Message, nullptr, 0, 0, PM_REMOVE)) {
    if (Message.message == WM_QUIT) {
      ExitCode = static_cast<int>(Message.wParam);
      return false;
    }
    if (Window.Handle() != nullptr && Window.PreTranslate(Message))
      continue;
    ::TranslateMessage(&Message);
    ::DispatchMessageW(&Message);
  }
  if (Window.Handle() != nullptr)
    Guarded([&] { Window.Idle(); });
  return true;
}

int RunMessageLoop(TMainWindow& Window) {
  int ExitCode = 0;
  while (ProcessMessages(Window, ExitCode))
    ::WaitMessage();
  return ExitCode;
}

} // namespace ui
