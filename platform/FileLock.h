#pragma once
// An exclusive lock that one process holds on a path while it may write the files that the path stands
// for, so that a second editor or command refuses instead of writing over the first. The lock is a file
// of its own, opened without sharing (Windows) or locked with flock (POSIX); it disappears when released
// and is released by the system when the process dies, so a crash never leaves a folder locked.

#include <cstdint>
#include <string>

namespace platform {

class FileLock {
public:
  FileLock() = default;
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Takes the lock of Path (the lock file is created if missing); 0, or LockBusyError() when another
  // holder has it, or the system's error. A lock already held by this object is released first.
  int Acquire(const std::string& Path);
  void Release();
  bool Held() const { return FHandle != -1; }

private:
  intptr_t FHandle = -1;
  std::string FPath;
};

// The error code with which Acquire refuses a lock that another process or object holds.
int LockBusyError();

} // namespace platform
