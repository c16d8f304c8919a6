// The program: the application titled "ORVIK Streams Editor", its main window TfrmORVStreams, and the
// message loop until that window closes.
#include "ui/ErrorGuard.h"
#include "ui/MessageLoop.h"
#include "ui/WinServices.h"

#include <commctrl.h>
#include <ole2.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int Show) {
  // The shell's folder browser in its new style needs OLE on this thread.
  ::OleInitialize(nullptr);
  INITCOMMONCONTROLSEX Controls{sizeof Controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
  ::InitCommonControlsEx(&Controls);

  ui::TWinServices Services;
  ui::SetErrorReportBoxes(&Services.MessageBoxes);
  int ExitCode = 1;
  ui::Guarded([&] {
    ui::TMainWindow Window(Services.Services());
    Services.SetMainWindow(Window.Handle());
    Window.OnDestroyed = [] { ::PostQuitMessage(0); };
    ::ShowWindow(Window.Handle(), Show);
    ::UpdateWindow(Window.Handle());
    ExitCode = ui::RunMessageLoop(Window);
  });
  ::OleUninitialize();
  return ExitCode;
}
