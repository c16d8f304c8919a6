#include "ui/ErrorGuard.h"
#include "app/ErrorReport.h"

#include <stdexcept>
#include <windows.h>

namespace ui {

namespace {

IMessageBoxes* ReportBoxes = nullptr;

void Show(const std::exception& Error) {
  if (ReportBoxes != nullptr)
    ReportError(*ReportBoxes, Error);
  else
    ::OutputDebugStringA(Error.what());
}

} // namespace

void SetErrorReportBoxes(IMessageBoxes* Boxes) {
  ReportBoxes = Boxes;
}

void ReportCurrentException() noexcept {
  try {
    try {
      throw;
    } catch (const std::exception& Error) {
      Show(Error);
    } catch (...) {
      Show(std::runtime_error("Unknown error"));
    }
  } catch (...) {
    // The report itself failed (out of memory, a failing message box): nothing is left to tell.
  }
}

} // namespace ui
