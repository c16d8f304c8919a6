#pragma once
// The application's message loop: messages go through the main window's pre-translation (hints,
// shortcuts, Tab) before dispatch, and each time the queue runs empty the idle step runs.

#include "ui/MainWindow.h"

namespace ui {

// Dispatches every message waiting in the queue, then runs the idle step once. False when the quit
// message came; ExitCode then holds its code.
bool ProcessMessages(TMainWindow& Window, int& ExitCode);

// Runs until the quit message; returns its exit code.
int RunMessageLoop(TMainWindow& Window);

} // namespace ui
