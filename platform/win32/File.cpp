#include "platform/File.h"
#include "platform/Faults.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

#include <windows.h>

namespace platform {
namespace {

HANDLE AsHandle(intptr_t Handle) {
  return reinterpret_cast<HANDLE>(Handle);
}

} // namespace

File::~File() {
  Close();
}

int File::Open(const std::string& Path, FileAccess Access) {
  Close();
  if (int Fault = CheckFault(Access == FileAccess::Create ? FaultKind::Create : FaultKind::Open))
    return Fault;
  DWORD Desired = Access == FileAccess::Read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
  DWORD Share = Access == FileAccess::Read ? FILE_SHARE_READ : 0;
  DWORD Disposition = Access == FileAccess::Create ? CREATE_ALWAYS : OPEN_EXISTING;
  HANDLE Handle = ::CreateFileW(FileNameToWide(Path).c_str(), Desired, Share, nullptr, Disposition,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (Handle == INVALID_HANDLE_VALUE)
    return static_cast<int>(::GetLastError());
  // Only files on a disk: a console, a pipe or another device may never end or block a read.
  if (::GetFileType(Handle) != FILE_TYPE_DISK) {
    ::CloseHandle(Handle);
    return NotAFileError();
  }
  FHandle = reinterpret_cast<intptr_t>(Handle);
  FPath = Path;
  return 0;
}

void File::Close() {
  if (FHandle != -1)
    ::CloseHandle(AsHandle(FHandle));
  FHandle = -1;
  FPath.clear();
}

bool File::IsOpen() const {
  return FHandle != -1;
}

int File::Read(void* Buffer, size_t Count, size_t& Done) {
  Done = 0;
  if (int Fault = CheckFault(FaultKind::Read))
    return Fault;
  while (Done < Count) {
    DWORD Chunk = static_cast<DWORD>(Count - Done > 0x10000000 ? 0x10000000 : Count - Done);
    DWORD Got = 0;
    if (!::ReadFile(AsHandle(FHandle), static_cast<char*>(Buffer) + Done, Chunk, &Got, nullptr))
      return static_cast<int>(::GetLastError());
    if (Got == 0)
      break;
    Done += Got;
  }
  return 0;
}

int File::Write(const void* Buffer, size_t Count, size_t& Done) {
  Done = 0;
  if (int Fault = CheckFault(FaultKind::Write))
    return Fault;
  while (Done < Count) {
    DWORD Chunk = static_cast<DWORD>(Count - Done > 0x10000000 ? 0x10000000 : Count - Done);
    DWORD Put = 0;
    if (!::WriteFile(AsHandle(FHandle), static_cast<const char*>(Buffer) + Done, Chunk, &Put, nullptr))
      return static_cast<int>(::GetLastError());
    if (Put == 0)
      return ERROR_HANDLE_DISK_FULL;
    Done += Put;
  }
  return 0;
}

int File::Seek(int64_t Offset, SeekOrigin Origin, int64_t& NewPosition) {
  DWORD Method = Origin == SeekOrigin::Begin     ? FILE_BEGIN
                 : Origin == SeekOrigin::Current ? FILE_CURRENT
                                                 : FILE_END;
  LARGE_INTEGER Distance;
  Distance.QuadPart = Offset;
  LARGE_INTEGER Result;
  if (!::SetFilePointerEx(AsHandle(FHandle), Distance, &Result, Method))
    return static_cast<int>(::GetLastError());
  NewPosition = Result.QuadPart;
  return 0;
}

int File::GetSize(int64_t& Size) {
  LARGE_INTEGER Result;
  if (!::GetFileSizeEx(AsHandle(FHandle), &Result))
    return static_cast<int>(::GetLastError());
  Size = Result.QuadPart;
  return 0;
}

int File::SetSize(int64_t Size) {
  int64_t Position = 0;
  if (int Error = Seek(0, SeekOrigin::Current, Position))
    return Error;
  int64_t Ignored = 0;
  if (int Error = Seek(Size, SeekOrigin::Begin, Ignored))
    return Error;
  int Error = ::SetEndOfFile(AsHandle(FHandle)) ? 0 : static_cast<int>(::GetLastError());
  Seek(Position, SeekOrigin::Begin, Ignored);
  return Error;
}

} // namespace platform

namespace platform {

int File::Flush() {
  if (int Fault = CheckFault(FaultKind::Flush))
    return Fault;
  return ::FlushFileBuffers(AsHandle(FHandle)) ? 0 : static_cast<int>(::GetLastError());
}

} // namespace platform
