#include "platform/FileLock.h"
#include "platform/Faults.h"
#include "platform/Text.h"

#include <windows.h>

namespace platform {

FileLock::~FileLock() { Release(); }

int FileLock::Acquire(const std::string& Path) {
  Release();
  if (int Fault = CheckFault(FaultKind::Lock))
    return Fault;
  // No sharing: a second open of the lock file fails with a sharing violation while this one lives, and
  // the file goes with the last handle, also when the process dies.
  HANDLE Handle = ::CreateFileW(FileNameToWide(Path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (Handle == INVALID_HANDLE_VALUE) {
    DWORD Error = ::GetLastError();
    return Error == ERROR_SHARING_VIOLATION ? LockBusyError() : static_cast<int>(Error);
  }
  FHandle = reinterpret_cast<intptr_t>(Handle);
  FPath = Path;
  return 0;
}

void FileLock::Release() {
  if (FHandle == -1)
    return;
  ::CloseHandle(reinterpret_cast<HANDLE>(FHandle));
  FHandle = -1;
  FPath.clear();
}

int LockBusyError() { return ERROR_SHARING_VIOLATION; }

} // namespace platform
