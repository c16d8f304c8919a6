#pragma once
// The application's top-level error report for the Win32 layer. Every window procedure, dialog procedure,
// hook and idle step runs its work through Guarded, so that no exception leaves a callback of the system:
// the error is shown by the application's error report (app/ErrorReport.h) and the message loop goes on.

#include "app/Services.h"

#include <exception>

namespace ui {

// The message boxes that show the report; set once at start-up (tests set their scripted ones).
void SetErrorReportBoxes(IMessageBoxes* Boxes);

// Shows the report for the exception being handled; call only inside a catch block.
void ReportCurrentException() noexcept;

// Runs Work; an exception is reported and false returned.
template <class Work> bool Guarded(Work&& Run) noexcept {
  try {
    Run();
    return true;
  } catch (...) {
    ReportCurrentException();
    return false;
  }
}

} // namespace ui
