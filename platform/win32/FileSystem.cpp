#include <windows.h>
// windows.h maps these names to its A/W functions; the platform layer's own functions keep them.
#undef DeleteFile
#undef MoveFile
#undef ReplaceFile

#include "platform/Faults.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace platform {
namespace {

int LastError() {
  return static_cast<int>(::GetLastError());
}

std::wstring FolderOf(const std::wstring& Path) {
  size_t Slash = Path.find_last_of(L"\\/:");
  return Slash == std::wstring::npos ? std::wstring(L".\\") : Path.substr(0, Slash + 1);
}

} // namespace

char PathDelimiter() {
  return '\\';
}

const char* LineBreak() {
  return "\r\n";
}

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

int AccessDeniedError() {
  return ERROR_ACCESS_DENIED;
}
int DiskFullError() {
  return ERROR_DISK_FULL;
}
int NotAFileError() {
  return ERROR_ACCESS_DENIED;
}

std::string FullPath(const std::string& Path) {
  std::wstring Wide = FileNameToWide(Path), Full = FullPath(Wide);
  return Full == Wide ? Path : WideToFileName(Full);
}

std::wstring FullPath(const std::wstring& Path) {
  wchar_t Buffer[MAX_PATH];
  wchar_t* FilePart = nullptr;
  DWORD Length = ::GetFullPathNameW(Path.c_str(), MAX_PATH, Buffer, &FilePart);
  if (Length == 0 || Length >= MAX_PATH)
    return Path;
  return std::wstring(Buffer, Length);
}

bool IsFile(const std::string& Path) {
  return IsFile(FileNameToWide(Path));
}

bool IsFile(const std::wstring& Path) {
  DWORD Attributes = ::GetFileAttributesW(Path.c_str());
  return Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

int DeleteFile(const std::string& Path) {
  return DeleteFile(FileNameToWide(Path));
}

std::string NarrowFileName(const std::wstring& Path) {
  std::string Narrow = WideToFileName(Path);
  if (FileNameToWide(Narrow) == Path)
    return Narrow;
  DWORD Length = ::GetShortPathNameW(Path.c_str(), nullptr, 0);
  std::wstring Short(Length, L'\0');
  if (Length == 0 || ::GetShortPathNameW(Path.c_str(), Short.data(), Length) != Length - 1)
    return Narrow;
  Short.resize(Length - 1);
  return WideToFileName(Short);
}

int DeleteFile(const std::wstring& Path) {
  if (int Fault = CheckFault(FaultKind::Delete))
    return Fault;
  return ::DeleteFileW(Path.c_str()) ? 0 : LastError();
}

int MoveFile(const std::string& Source, const std::string& Target) {
  return MoveFile(FileNameToWide(Source), FileNameToWide(Target));
}

int MoveFile(const std::wstring& Source, const std::wstring& Target) {
  if (int Fault = CheckFault(FaultKind::Move))
    return Fault;
  return ::MoveFileW(Source.c_str(), Target.c_str()) ? 0 : LastError();
}

int ReplaceFile(const std::string& SourceName, const std::string& TargetName) {
  if (int Fault = CheckFault(FaultKind::Move))
    return Fault;
  const std::wstring Source = FileNameToWide(SourceName), Target = FileNameToWide(TargetName);
  if (::MoveFileExW(Source.c_str(), Target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return 0;
  int Error = LastError();
  if (Error != ERROR_NOT_SAME_DEVICE)
    return Error;
  // Across volumes: copy beside the target first, so the replace itself is a rename on one volume and a
  // failed copy never leaves a partial file under the target's name.
  wchar_t Scratch[MAX_PATH];
  if (::GetTempFileNameW(FolderOf(Target).c_str(), L"~rp", 0, Scratch) == 0)
    return LastError();
  if (!::CopyFileW(Source.c_str(), Scratch, FALSE) ||
      !::MoveFileExW(Scratch, Target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    Error = LastError();
    ::DeleteFileW(Scratch);
    return Error;
  }
  ::DeleteFileW(Source.c_str());
  return 0;
}

int FlushFolder(const std::string&) {
  return CheckFault(FaultKind::FolderFlush);
}

int TempFolder(std::string& Folder) {
  if (int Fault = CheckFault(FaultKind::TempName))
    return Fault;
  wchar_t Buffer[246];
  DWORD Length = ::GetTempPathW(246, Buffer);
  if (Length == 0)
    return LastError();
  if (Length >= 246)
    return ERROR_BUFFER_OVERFLOW;
  Folder = WideToFileName(std::wstring(Buffer, Length));
  return 0;
}

int CreateUniqueFile(const std::string& Folder, const std::string& Prefix, std::string& Name) {
  if (int Fault = CheckFault(FaultKind::TempName))
    return Fault;
  wchar_t Buffer[MAX_PATH];
  if (::GetTempFileNameW(FileNameToWide(Folder).c_str(), FileNameToWide(Prefix).c_str(), 0, Buffer) == 0)
    return LastError();
  Name = WideToFileName(Buffer);
  return 0;
}

std::string OwnFileNameUtf8(const std::string& Path) {
  std::wstring Name = FileNameToWide(Path);
  const DWORD Length = ::GetLongPathNameW(Name.c_str(), nullptr, 0);
  std::wstring Long(Length, L'\0');
  if (Length != 0 && ::GetLongPathNameW(Name.c_str(), Long.data(), Length) == Length - 1)
    Name = Long.substr(0, Length - 1);
  const size_t Slash = Name.find_last_of(L"\\/");
  if (Slash != std::wstring::npos)
    Name.erase(0, Slash + 1);
  if (Name.empty())
    return std::string();
  const int Size = static_cast<int>(Name.size());
  const int Bytes = ::WideCharToMultiByte(CP_UTF8, 0, Name.data(), Size, nullptr, 0, nullptr, nullptr);
  std::string Utf8(static_cast<size_t>(Bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, Name.data(), Size, Utf8.data(), Bytes, nullptr, nullptr);
  return Utf8;
}

int FilesInFolder(const std::string& Folder, std::vector<std::string>& Names) {
  std::wstring Base = FileNameToWide(Folder);
  if (!Base.empty() && Base.back() != L'\\' && Base.back() != L'/')
    Base += L'\\';
  WIN32_FIND_DATAW Found;
  HANDLE Search = ::FindFirstFileW((Base + L"*").c_str(), &Found);
  if (Search == INVALID_HANDLE_VALUE)
    return ::GetLastError() == ERROR_FILE_NOT_FOUND ? 0 : LastError();
  do {
    if ((Found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
      continue;
    // A name the file names' code page lacks would come out with '?' and name no file: its short name,
    // when the volume gave it one, still opens it.
    std::string Name = WideToFileName(Found.cFileName);
    if (FileNameToWide(Name) != Found.cFileName && Found.cAlternateFileName[0] != L'\0')
      Name = WideToFileName(Found.cAlternateFileName);
    Names.push_back(Name);
  } while (::FindNextFileW(Search, &Found));
  ::FindClose(Search);
  return 0;
}

bool IsFolder(const std::string& Path) {
  DWORD Attributes = ::GetFileAttributesW(FileNameToWide(Path).c_str());
  return Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

int CreateFolder(const std::string& Path) {
  if (int Fault = CheckFault(FaultKind::Create))
    return Fault;
  if (::CreateDirectoryW(FileNameToWide(Path).c_str(), nullptr) ||
      (::GetLastError() == ERROR_ALREADY_EXISTS && IsFolder(Path)))
    return 0;
  return LastError();
}

void RemoveEmptyFolder(const std::string& Path) {
  ::RemoveDirectoryW(FileNameToWide(Path).c_str());
}

} // namespace platform
