#include <windows.h>
// windows.h maps these names to its A/W functions; the platform layer's own functions keep them.
#undef DeleteFile
#undef MoveFile
#undef ReplaceFile

#include "platform/Faults.h"
#include "platform/FileSystem.h"

namespace platform {
namespace {

int LastError() { return static_cast<int>(::GetLastError()); }

std::string FolderOf(const std::string& Path) {
  size_t Slash = Path.find_last_of("\\/:");
  return Slash == std::string::npos ? std::string(".\\") : Path.substr(0, Slash + 1);
}

} // namespace

char PathDelimiter() { return '\\'; }

const char* LineBreak() { return "\r\n"; }

std::string SystemErrorText(int ErrorCode) {
  char* Buffer = nullptr;
  DWORD Length = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                  nullptr, static_cast<DWORD>(ErrorCode), 0, reinterpret_cast<char*>(&Buffer),
                                  0, nullptr);
  std::string Text = Buffer != nullptr ? std::string(Buffer, Length) : std::string();
  if (Buffer != nullptr)
    ::LocalFree(Buffer);
  while (!Text.empty() && (static_cast<unsigned char>(Text.back()) <= ' ' || Text.back() == '.'))
    Text.pop_back();
  return Text;
}

int AccessDeniedError() { return ERROR_ACCESS_DENIED; }
int DiskFullError() { return ERROR_DISK_FULL; }
int NotAFileError() { return ERROR_ACCESS_DENIED; }

std::string FullPath(const std::string& Path) {
  char Buffer[MAX_PATH];
  char* FilePart = nullptr;
  DWORD Length = ::GetFullPathNameA(Path.c_str(), MAX_PATH, Buffer, &FilePart);
  if (Length == 0 || Length >= MAX_PATH)
    return Path;
  return std::string(Buffer, Length);
}

bool IsFile(const std::string& Path) {
  DWORD Attributes = ::GetFileAttributesA(Path.c_str());
  return Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

int DeleteFile(const std::string& Path) {
  if (int Fault = CheckFault(FaultKind::Delete))
    return Fault;
  return ::DeleteFileA(Path.c_str()) ? 0 : LastError();
}

int MoveFile(const std::string& Source, const std::string& Target) {
  if (int Fault = CheckFault(FaultKind::Move))
    return Fault;
  return ::MoveFileA(Source.c_str(), Target.c_str()) ? 0 : LastError();
}

int ReplaceFile(const std::string& Source, const std::string& Target) {
  if (int Fault = CheckFault(FaultKind::Move))
    return Fault;
  if (::MoveFileExA(Source.c_str(), Target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return 0;
  int Error = LastError();
  if (Error != ERROR_NOT_SAME_DEVICE)
    return Error;
  // Across volumes: copy beside the target first, so the replace itself is a rename on one volume and a
  // failed copy never leaves a partial file under the target's name.
  char Scratch[MAX_PATH];
  if (::GetTempFileNameA(FolderOf(Target).c_str(), "~rp", 0, Scratch) == 0)
    return LastError();
  if (!::CopyFileA(Source.c_str(), Scratch, FALSE) ||
      !::MoveFileExA(Scratch, Target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    Error = LastError();
    ::DeleteFileA(Scratch);
    return Error;
  }
  ::DeleteFileA(Source.c_str());
  return 0;
}

int TempFolder(std::string& Folder) {
  if (int Fault = CheckFault(FaultKind::TempName))
    return Fault;
  char Buffer[246];
  DWORD Length = ::GetTempPathA(sizeof Buffer, Buffer);
  if (Length == 0)
    return LastError();
  if (Length >= sizeof Buffer)
    return ERROR_BUFFER_OVERFLOW;
  Folder.assign(Buffer, Length);
  return 0;
}

int CreateUniqueFile(const std::string& Folder, const std::string& Prefix, std::string& Name) {
  if (int Fault = CheckFault(FaultKind::TempName))
    return Fault;
  char Buffer[260];
  if (::GetTempFileNameA(Folder.c_str(), Prefix.c_str(), 0, Buffer) == 0)
    return LastError();
  Name = Buffer;
  return 0;
}

} // namespace platform
