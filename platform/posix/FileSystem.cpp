#include "platform/FileSystem.h"
#include "platform/Faults.h"
#include "platform/File.h"
#include "platform/Recording.h"
#include "platform/Text.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

// Copies Source into a new scratch file beside Target and returns the scratch path in Scratch.
int CopyBeside(const std::string& Source, const std::string& Target, std::string& Scratch) {
  std::string Template = Target + ".XXXXXX";
  std::vector<char> Name(Template.begin(), Template.end());
  Name.push_back('\0');
  int Out = ::mkstemp(Name.data());
  if (Out < 0)
    return errno;
  Scratch = Name.data();
  int In = ::open(Source.c_str(), O_RDONLY | O_CLOEXEC);
  int Error = In < 0 ? errno : 0;
  std::vector<char> Block(1 << 16);
  while (Error == 0) {
    ssize_t Got = ::read(In, Block.data(), Block.size());
    if (Got < 0 && errno == EINTR)
      continue;
    if (Got <= 0) {
      Error = Got < 0 ? errno : 0;
      break;
    }
    for (ssize_t Done = 0; Done < Got && Error == 0;) {
      ssize_t Put = ::write(Out, Block.data() + Done, static_cast<size_t>(Got - Done));
      if (Put < 0 && errno != EINTR)
        Error = errno;
      else if (Put > 0)
        Done += Put;
    }
  }
  if (Error == 0 && ::fsync(Out) != 0)
    Error = errno;
  if (In >= 0)
    ::close(In);
  if (::close(Out) != 0 && Error == 0)
    Error = errno;
  if (Error != 0)
    ::unlink(Scratch.c_str());
  return Error;
}

} // namespace

char PathDelimiter() {
  return '/';
}

const char* LineBreak() {
  return "\n";
}

std::string SystemErrorText(int ErrorCode) {
  std::string Text = std::strerror(ErrorCode);
  while (!Text.empty() && (static_cast<unsigned char>(Text.back()) <= ' ' || Text.back() == '.'))
    Text.pop_back();
  return Text;
}

int AccessDeniedError() {
  return EACCES;
}
int DiskFullError() {
  return ENOSPC;
}
int NotAFileError() {
  return EPERM;
}

std::string FullPath(const std::string& Path) {
  if (!Path.empty() && Path[0] == '/')
    return Path;
  char Buffer[PATH_MAX];
  if (::getcwd(Buffer, sizeof Buffer) == nullptr)
    return Path;
  std::string Folder = Buffer;
  if (Folder.empty() || Folder.back() != '/')
    Folder += '/';
  return Folder + Path;
}

std::wstring FullPath(const std::wstring& Path) {
  return FileNameToWide(FullPath(WideToFileName(Path)));
}

bool IsFile(const std::string& Path) {
  struct stat Info {};
  return ::stat(Path.c_str(), &Info) == 0 && S_ISREG(Info.st_mode);
}

int DeleteFile(const std::string& Path) {
  if (int Fault = CheckFault(FaultKind::Delete))
    return Fault;
  if (!IsFile(Path) && ::access(Path.c_str(), F_OK) == 0)
    return EISDIR;
  if (::unlink(Path.c_str()) != 0)
    return errno;
  recording::Deleted(Path);
  return 0;
}

int MoveFile(const std::string& Source, const std::string& Target) {
  if (int Fault = CheckFault(FaultKind::Move))
    return Fault;
  if (::access(Target.c_str(), F_OK) == 0)
    return EEXIST;
  if (::rename(Source.c_str(), Target.c_str()) != 0)
    return errno;
  recording::Moved(Source, Target);
  return 0;
}

bool IsFile(const std::wstring& Path) {
  return IsFile(WideToFileName(Path));
}

int DeleteFile(const std::wstring& Path) {
  return DeleteFile(WideToFileName(Path));
}

std::string NarrowFileName(const std::wstring& Path) {
  return WideToFileName(Path);
}

std::string OwnFileNameUtf8(const std::string& Path) {
  return Path.substr(Path.find_last_of('/') + 1);
}

int MoveFile(const std::wstring& Source, const std::wstring& Target) {
  return MoveFile(WideToFileName(Source), WideToFileName(Target));
}

int ReplaceFile(const std::string& Source, const std::string& Target) {
  if (int Fault = CheckFault(FaultKind::Move))
    return Fault;
  if (!IsFile(Source))
    return ENOENT;
  if (::rename(Source.c_str(), Target.c_str()) == 0) {
    recording::Moved(Source, Target);
    return 0;
  }
  if (errno != EXDEV)
    return errno;
  std::string Scratch;
  if (int Error = CopyBeside(Source, Target, Scratch))
    return Error;
  if (::rename(Scratch.c_str(), Target.c_str()) != 0) {
    int Error = errno;
    ::unlink(Scratch.c_str());
    return Error;
  }
  ::unlink(Source.c_str());
  return 0;
}

int FlushFolder(const std::string& Folder) {
  if (int Fault = CheckFault(FaultKind::FolderFlush))
    return Fault;
  int Fd = ::open(Folder.empty() ? "." : Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (Fd < 0)
    return errno;
  int Error = ::fsync(Fd) == 0 ? 0 : errno;
  ::close(Fd);
  return Error;
}

int TempFolder(std::string& Folder) {
  if (int Fault = CheckFault(FaultKind::TempName))
    return Fault;
  const char* Dir = std::getenv("TMPDIR");
  Folder = Dir != nullptr && *Dir != '\0' ? Dir : "/tmp";
  if (Folder.back() != '/')
    Folder += '/';
  return 0;
}

int CreateUniqueFile(const std::string& Folder, const std::string& Prefix, std::string& Name) {
  if (int Fault = CheckFault(FaultKind::TempName))
    return Fault;
  std::string Template = Folder + Prefix + "XXXXXX";
  std::vector<char> Buffer(Template.begin(), Template.end());
  Buffer.push_back('\0');
  int Fd = ::mkstemp(Buffer.data());
  if (Fd < 0)
    return errno;
  ::close(Fd);
  Name = Buffer.data();
  return 0;
}

int FilesInFolder(const std::string& Folder, std::vector<std::string>& Names) {
  DIR* Dir = ::opendir(Folder.c_str());
  if (Dir == nullptr)
    return errno;
  std::string Base = Folder.empty() || Folder.back() == '/' ? Folder : Folder + '/';
  while (const dirent* Entry = ::readdir(Dir))
    if (IsFile(Base + Entry->d_name))
      Names.push_back(Entry->d_name);
  ::closedir(Dir);
  return 0;
}

bool IsFolder(const std::string& Path) {
  struct stat Info {};
  return ::stat(Path.c_str(), &Info) == 0 && S_ISDIR(Info.st_mode);
}

int CreateFolder(const std::string& Path) {
  if (int Fault = CheckFault(FaultKind::Create))
    return Fault;
  if (::mkdir(Path.c_str(), 0777) == 0 || (errno == EEXIST && IsFolder(Path)))
    return 0;
  return errno;
}

void RemoveEmptyFolder(const std::string& Path) {
  ::rmdir(Path.c_str());
}

} // namespace platform
