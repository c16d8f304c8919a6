#include "base/Exceptions.h"
#include "platform/FileSystem.h"

#include <cstdio>

namespace {

std::string Formatted(const char* Format, int Value) {
  char Buffer[64];
  std::snprintf(Buffer, sizeof Buffer, Format, Value);
  return Buffer;
}

std::string OSErrorMessage(int ErrorCode) {
  if (ErrorCode == 0)
    return "A call to an OS function failed";
  return Formatted("System Error.  Code: %d.", ErrorCode) + platform::LineBreak() +
         platform::SystemErrorText(ErrorCode);
}

std::string FileErrorMessage(const char* Verb, const std::string& FileName, int ErrorCode) {
  return std::string("Cannot ") + Verb + " file \"" + platform::FullPath(FileName) + "\". " +
         platform::SystemErrorText(ErrorCode);
}

} // namespace

EListError::EListError(int Index) : Exception(Formatted("List index out of bounds (%d)", Index)) {}

EReadError::EReadError() : EStreamError("Stream read error") {}

EWriteError::EWriteError() : EStreamError("Stream write error") {}

EFOpenError::EFOpenError(const std::string& FileName, int ErrorCode)
    : EStreamError(FileErrorMessage("open", FileName, ErrorCode)) {}

EFOpenError::EFOpenError(const std::string& FileName, const std::string& Reason)
    : EStreamError("Cannot open file \"" + FileName + "\". " + Reason) {}

EFCreateError::EFCreateError(const std::string& FileName, int ErrorCode)
    : EStreamError(FileErrorMessage("create", FileName, ErrorCode)) {}

EOSError::EOSError(int ErrorCode) : Exception(OSErrorMessage(ErrorCode)), FErrorCode(ErrorCode) {}

void CheckOSError(int ErrorCode) {
  if (ErrorCode != 0)
    throw EOSError(ErrorCode);
}
