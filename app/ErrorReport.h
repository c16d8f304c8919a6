#pragma once
// The application's error report: every error a handler raises ends here, shown in a message box with the
// application title as caption, an error icon and an OK button; the program then goes on.

#include "app/Services.h"

#include <exception>
#include <string>

// The text shown for an error: its message, with a "." appended when the last character sorts after ".".
std::wstring ErrorReportText(const std::exception& Error);
// The same for a caught error; empty for one that is no std::exception.
std::wstring ErrorReportText(const std::exception_ptr& Error);

void ReportError(IMessageBoxes& MessageBoxes, const std::exception& Error);

// Runs Handler and reports any error it raises. Returns false when there was one.
template <class Handler> bool RunHandler(IMessageBoxes& MessageBoxes, Handler&& Run) {
  try {
    Run();
    return true;
  } catch (const std::exception& Error) {
    ReportError(MessageBoxes, Error);
    return false;
  }
}
