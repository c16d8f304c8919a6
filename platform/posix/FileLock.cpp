#include "platform/FileLock.h"
#include "platform/Faults.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

FileLock::~FileLock() {
  Release();
}

int FileLock::Acquire(const std::string& Path) {
  Release();
  if (int Fault = CheckFault(FaultKind::Lock))
    return Fault;
  for (;;) {
    int Fd = ::open(Path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (Fd < 0)
      return errno;
    // A lock of the open file description: it excludes other opens in this process too, and, being a
    // record lock, also the lock that Wine takes for a Windows program (LockFileEx) on the same file.
    struct flock Range {};
    Range.l_type = F_WRLCK;
    Range.l_whence = SEEK_SET;
    Range.l_start = 0;
    Range.l_len = 1;
    if (::fcntl(Fd, F_OFD_SETLK, &Range) != 0) {
      int Error = errno == EAGAIN || errno == EACCES ? LockBusyError() : errno;
      ::close(Fd);
      return Error;
    }
    // A holder that released between our open and our lock has unlinked the file we locked: take the
    // lock again on the file that the path names now.
    struct stat Opened {
    }, Named{};
    if (::fstat(Fd, &Opened) == 0 && ::stat(Path.c_str(), &Named) == 0 && Opened.st_ino == Named.st_ino &&
        Opened.st_dev == Named.st_dev) {
      FHandle = Fd;
      FPath = Path;
      return 0;
    }
    ::close(Fd);
  }
}

void FileLock::Release() {
  if (FHandle == -1)
    return;
  // Unlinked while still locked, so no other process can lock the file that is going.
  ::unlink(FPath.c_str());
  ::close(static_cast<int>(FHandle));
  FHandle = -1;
  FPath.clear();
}

int LockBusyError() {
  return EBUSY;
}

} // namespace platform
