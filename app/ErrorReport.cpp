#include "app/ErrorReport.h"
#include "app/Messages.h"
#include "base/Text.h"

std::wstring ErrorReportText(const std::exception& Error) {
  std::string Message = Error.what();
  if (!Message.empty() && static_cast<unsigned char>(Message.back()) > '.')
    Message += '.';
  return AnsiToWide(Message);
}

void ReportError(IMessageBoxes& MessageBoxes, const std::exception& Error) {
  MessageBoxes.Show(ErrorReportText(Error), msg::ApplicationTitle, TMsgButtons::OK, TMsgIcon::Error);
}

std::wstring ErrorReportText(const std::exception_ptr& Error) {
  try {
    std::rethrow_exception(Error);
  } catch (const std::exception& E) {
    return ErrorReportText(E);
  } catch (...) {
    return L"";
  }
}
