#include "platform/File.h"
#include "platform/Faults.h"
#include "platform/FileSystem.h"
#include "platform/Recording.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace platform {
namespace {

int OpenFlags(FileAccess Access) {
  switch (Access) {
  case FileAccess::Read:
    return O_RDONLY;
  case FileAccess::ReadWrite:
    return O_RDWR;
  case FileAccess::Create:
    return O_RDWR | O_CREAT;
  }
  return O_RDONLY;
}

// Readers share the lock; writers hold it alone. A lock taken by another open of the same file, in this
// process or another, refuses the open as a sharing violation does on Windows.
int LockOperation(FileAccess Access) {
  return (Access == FileAccess::Read ? LOCK_SH : LOCK_EX) | LOCK_NB;
}

// A child process started on another thread holds copies of this process's descriptors from its fork
// until its exec closes them, and with them the locks of files that this thread has closed since. Such a
// lock goes within moments, so a refused lock is tried again for a while before the open is refused.
constexpr int kLockTries = 100;
constexpr long kLockPauseNs = 2'000'000; // 2 ms: 200 ms in all

int TakeLock(int Fd, FileAccess Access) {
  for (int Try = 1;; ++Try) {
    if (::flock(Fd, LockOperation(Access)) == 0)
      return 0;
    if (errno != EWOULDBLOCK)
      return errno;
    if (Try == kLockTries)
      return EBUSY;
    const timespec Pause = {0, kLockPauseNs};
    ::nanosleep(&Pause, nullptr);
  }
}

int NotRegularError(const struct stat& Info) {
  return S_ISDIR(Info.st_mode) ? EISDIR : NotAFileError();
}

} // namespace

File::~File() {
  Close();
}

int File::Open(const std::string& Path, FileAccess Access) {
  Close();
  if (int Fault = CheckFault(Access == FileAccess::Create ? FaultKind::Create : FaultKind::Open))
    return Fault;
  // Only regular files: a device or a pipe may never end, block the open or change when read. The name is
  // checked before the open (which must not block on a pipe) and the opened file again after it.
  struct stat Info {};
  if (::stat(Path.c_str(), &Info) == 0 && !S_ISREG(Info.st_mode))
    return NotRegularError(Info);
  int Fd = ::open(Path.c_str(), OpenFlags(Access) | O_CLOEXEC | O_NONBLOCK, 0666);
  if (Fd < 0)
    return errno;
  int Error = ::fstat(Fd, &Info) != 0 ? errno : !S_ISREG(Info.st_mode) ? NotRegularError(Info) : 0;
  if (Error == 0 && ::fcntl(Fd, F_SETFL, 0) != 0) // blocking reads and writes again
    Error = errno;
  if (Error != 0) {
    ::close(Fd);
    return Error;
  }
  if ((Error = TakeLock(Fd, Access)) != 0) {
    ::close(Fd);
    return Error;
  }
  if (Access != FileAccess::Read)
    recording::Touch(Path);
  // Truncate only once the lock is held, so a file another open holds is never cut short.
  if (Access == FileAccess::Create) {
    if (::ftruncate(Fd, 0) != 0) {
      Error = errno;
      ::close(Fd);
      return Error;
    }
    recording::SetSize(Path, 0);
  }
  FHandle = Fd;
  FPath = Path;
  return 0;
}

void File::Close() {
  if (FHandle >= 0)
    ::close(static_cast<int>(FHandle));
  FHandle = -1;
  FPath.clear();
}

bool File::IsOpen() const {
  return FHandle >= 0;
}

int File::Read(void* Buffer, size_t Count, size_t& Done) {
  Done = 0;
  if (int Fault = CheckFault(FaultKind::Read))
    return Fault;
  while (Done < Count) {
    ssize_t Got = ::read(static_cast<int>(FHandle), static_cast<char*>(Buffer) + Done, Count - Done);
    if (Got < 0 && errno == EINTR)
      continue;
    if (Got < 0)
      return errno;
    if (Got == 0)
      break;
    Done += static_cast<size_t>(Got);
  }
  return 0;
}

int File::Write(const void* Buffer, size_t Count, size_t& Done) {
  Done = 0;
  if (int Fault = CheckFault(FaultKind::Write))
    return Fault;
  off_t Start = ::lseek(static_cast<int>(FHandle), 0, SEEK_CUR);
  struct Record {
    const std::string& Path;
    off_t Start;
    const void* Buffer;
    size_t& Done;
    ~Record() {
      if (Start >= 0)
        recording::Write(Path, Start, Buffer, Done);
    }
  } Recorded{FPath, Start, Buffer, Done};
  while (Done < Count) {
    ssize_t Put = ::write(static_cast<int>(FHandle), static_cast<const char*>(Buffer) + Done, Count - Done);
    if (Put < 0 && errno == EINTR)
      continue;
    if (Put < 0)
      return errno;
    Done += static_cast<size_t>(Put);
  }
  return 0;
}

int File::Seek(int64_t Offset, SeekOrigin Origin, int64_t& NewPosition) {
  int Whence = Origin == SeekOrigin::Begin ? SEEK_SET : Origin == SeekOrigin::Current ? SEEK_CUR : SEEK_END;
  off_t Result = ::lseek(static_cast<int>(FHandle), static_cast<off_t>(Offset), Whence);
  if (Result < 0)
    return errno;
  NewPosition = Result;
  return 0;
}

int File::GetSize(int64_t& Size) {
  struct stat Info {};
  if (::fstat(static_cast<int>(FHandle), &Info) != 0)
    return errno;
  Size = Info.st_size;
  return 0;
}

int File::SetSize(int64_t Size) {
  if (::ftruncate(static_cast<int>(FHandle), static_cast<off_t>(Size)) != 0)
    return errno;
  recording::SetSize(FPath, Size);
  return 0;
}

int File::Flush() {
  if (int Fault = CheckFault(FaultKind::Flush))
    return Fault;
  if (::fsync(static_cast<int>(FHandle)) != 0)
    return errno;
  recording::Flushed(FPath);
  return 0;
}

} // namespace platform
