#include "platform/FileLock.h"
#include "platform/Faults.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

#include <windows.h>

namespace platform {

FileLock::~FileLock() {
  Release();
}

int FileLock::Acquire(const std::string& Path) {
  Release();
  if (int Fault = CheckFault(FaultKind::Lock))
    return Fault;
  // The lock is a lock of the file's first byte, which Wine also takes as a record lock of the Linux
  // file, so that a Linux program locking the same file is excluded too. Others may open the file, to
  // find it locked.
  const std::wstring Name = FileNameToWide(Path);
  HANDLE Handle = ::CreateFileW(Name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_HIDDEN, nullptr);
  if (Handle == INVALID_HANDLE_VALUE) {
    DWORD Error = ::GetLastError();
    // A held lock file is marked for deletion: opening it again is refused as access denied.
    bool Held = Error == ERROR_ACCESS_DENIED && IsFile(Name);
    return Held || Error == ERROR_SHARING_VIOLATION ? LockBusyError() : static_cast<int>(Error);
  }
  OVERLAPPED At{};
  if (!::LockFileEx(Handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &At)) {
    DWORD Error = ::GetLastError();
    ::CloseHandle(Handle);
    return Error == ERROR_LOCK_VIOLATION || Error == ERROR_IO_PENDING ? LockBusyError()
                                                                      : static_cast<int>(Error);
  }
  // The file goes when the handle closes, also when the process dies.
  FILE_DISPOSITION_INFO Dispose{};
  Dispose.DeleteFile = TRUE;
  ::SetFileInformationByHandle(Handle, FileDispositionInfo, &Dispose, sizeof Dispose);
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

int LockBusyError() {
  return ERROR_SHARING_VIOLATION;
}

} // namespace platform
