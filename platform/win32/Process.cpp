#include "platform/Process.h"
#include "platform/Text.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

namespace {

constexpr size_t ErrorOutputLimit = 64 * 1024;

// Handles are made inheritable only for the moment of one CreateProcess, under this lock, so that a child
// started by another thread never holds them (Wine does not keep a child to its handle list).
std::mutex InheritLock;

// A pipe for a child's standard error: the write end listed as the only handle the child inherits (and made
// inheritable only while the child starts), the read end private. The start-up information refers to both
// while the object lives.
class TErrorPipe {
public:
  TErrorPipe() {
    if (!::CreatePipe(&FRead, &FWrite, nullptr, 0)) {
      FRead = FWrite = nullptr;
      return;
    }
    SIZE_T Size = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &Size);
    FAttributes.resize(Size);
    auto* List = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(FAttributes.data());
    if (!::InitializeProcThreadAttributeList(List, 1, 0, &Size) ||
        !::UpdateProcThreadAttribute(List, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &FWrite, sizeof FWrite,
                                     nullptr, nullptr)) {
      Close();
      return;
    }
    FList = List;
  }
  ~TErrorPipe() { Close(); }
  TErrorPipe(const TErrorPipe&) = delete;
  TErrorPipe& operator=(const TErrorPipe&) = delete;

  bool Ready() const { return FList != nullptr; }
  // Start-up information that gives the child the write end as its standard error and nothing else.
  void Attach(STARTUPINFOEXW& StartUp) const {
    StartUp.StartupInfo.cb = sizeof StartUp;
    StartUp.StartupInfo.dwFlags |= STARTF_USESTDHANDLES;
    StartUp.StartupInfo.hStdInput = nullptr;
    StartUp.StartupInfo.hStdOutput = nullptr;
    StartUp.StartupInfo.hStdError = FWrite;
    StartUp.lpAttributeList = FList;
  }
  // Under InheritLock, just before the child starts.
  void LetInherit() const { ::SetHandleInformation(FWrite, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT); }
  // Once the child holds its copy: ours goes, so that the pipe ends when the child's copy closes.
  void CloseWriteEnd() {
    if (FList != nullptr) {
      ::DeleteProcThreadAttributeList(FList);
      FList = nullptr;
    }
    if (FWrite != nullptr)
      ::CloseHandle(FWrite);
    FWrite = nullptr;
  }
  // Reads until every write end is closed, keeping the first ErrorOutputLimit bytes.
  void ReadAll(std::string& Output) const {
    char Buffer[4096];
    DWORD Got = 0;
    while (::ReadFile(FRead, Buffer, sizeof Buffer, &Got, nullptr) && Got > 0)
      Output.append(Buffer, std::min<size_t>(Got, ErrorOutputLimit - Output.size()));
  }

private:
  void Close() {
    CloseWriteEnd();
    if (FRead != nullptr)
      ::CloseHandle(FRead);
    FRead = nullptr;
  }
  HANDLE FRead = nullptr, FWrite = nullptr;
  std::vector<char> FAttributes;
  LPPROC_THREAD_ATTRIBUTE_LIST FList = nullptr;
};

void Wait(HANDLE Process, const std::function<void()>& WhileWaiting) {
  if (WhileWaiting) {
    while (::MsgWaitForMultipleObjects(1, &Process, FALSE, INFINITE, QS_PAINT | QS_TIMER | QS_INPUT) ==
           WAIT_OBJECT_0 + 1)
      WhileWaiting();
  } else {
    ::WaitForSingleObject(Process, INFINITE);
  }
}

} // namespace

bool ExecuteAndWait(const std::wstring& Program, const std::wstring& Parameters,
                    const std::wstring& WorkingFolder, uint16_t ShowMode,
                    const std::function<void()>& WhileWaiting, std::string* ErrorOutput) {
  std::wstring CommandLine = L"\"" + Program + L"\" " + Parameters;
  STARTUPINFOEXW StartUp{};
  StartUp.StartupInfo.cb = sizeof StartUp.StartupInfo;
  StartUp.StartupInfo.dwFlags = STARTF_USESHOWWINDOW;
  StartUp.StartupInfo.wShowWindow = ShowMode;
  DWORD Flags = CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS;
  std::unique_ptr<TErrorPipe> Pipe;
  if (ErrorOutput != nullptr) {
    ErrorOutput->clear();
    Pipe = std::make_unique<TErrorPipe>();
    if (!Pipe->Ready())
      return false;
    Pipe->Attach(StartUp);
    Flags |= EXTENDED_STARTUPINFO_PRESENT;
  }
  PROCESS_INFORMATION Process{};
  bool Started = false;
  {
    std::lock_guard<std::mutex> Lock(InheritLock);
    if (Pipe)
      Pipe->LetInherit();
    Started = ::CreateProcessW(nullptr, CommandLine.data(), nullptr, nullptr, Pipe ? TRUE : FALSE, Flags,
                               nullptr, WorkingFolder.c_str(), &StartUp.StartupInfo, &Process) != FALSE;
    if (Pipe)
      Pipe->CloseWriteEnd();
  }
  if (!Started)
    return false;
  // The pipe is drained on a thread of its own while this one waits, so a child that writes much never
  // blocks on it.
  std::thread Reader;
  if (Pipe)
    Reader = std::thread([&] { Pipe->ReadAll(*ErrorOutput); });
  Wait(Process.hProcess, WhileWaiting);
  if (Reader.joinable())
    Reader.join();
  ::CloseHandle(Process.hProcess);
  ::CloseHandle(Process.hThread);
  return true;
}

namespace {

// A scratch file for one standard stream of a child: deleted by the system when its last handle closes.
HANDLE CaptureFile() {
  wchar_t Folder[MAX_PATH + 1], Name[MAX_PATH + 1];
  DWORD Length = ::GetTempPathW(MAX_PATH + 1, Folder);
  if (Length == 0 || Length > MAX_PATH || ::GetTempFileNameW(Folder, L"~cap", 0, Name) == 0)
    return INVALID_HANDLE_VALUE;
  return ::CreateFileW(Name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

std::string ReadAll(HANDLE File) {
  std::string Text;
  char Buffer[4096];
  DWORD Got = 0;
  ::SetFilePointer(File, 0, nullptr, FILE_BEGIN);
  while (::ReadFile(File, Buffer, sizeof Buffer, &Got, nullptr) && Got > 0)
    Text.append(Buffer, Got);
  return Text;
}

bool StartWithHandles(std::wstring CommandLine, const std::wstring& WorkingFolder, HANDLE Out, HANDLE Err,
                      PROCESS_INFORMATION& Process) {
  STARTUPINFOW StartUp{};
  StartUp.cb = sizeof StartUp;
  StartUp.dwFlags = STARTF_USESTDHANDLES;
  StartUp.hStdInput = nullptr;
  StartUp.hStdOutput = Out;
  StartUp.hStdError = Err;
  std::lock_guard<std::mutex> Lock(InheritLock);
  ::SetHandleInformation(Out, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  ::SetHandleInformation(Err, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  BOOL Done = ::CreateProcessW(nullptr, CommandLine.data(), nullptr, nullptr, TRUE,
                               CREATE_NO_WINDOW | NORMAL_PRIORITY_CLASS, nullptr, WorkingFolder.c_str(),
                               &StartUp, &Process);
  ::SetHandleInformation(Out, HANDLE_FLAG_INHERIT, 0);
  ::SetHandleInformation(Err, HANDLE_FLAG_INHERIT, 0);
  return Done != FALSE;
}

} // namespace

bool ExecuteCapturing(const std::wstring& Program, const std::wstring& Parameters,
                      const std::wstring& WorkingFolder, TCapturedRun& Run) {
  HANDLE Out = CaptureFile(), Err = CaptureFile();
  PROCESS_INFORMATION Process{};
  bool Started = Out != INVALID_HANDLE_VALUE && Err != INVALID_HANDLE_VALUE &&
                 StartWithHandles(L"\"" + Program + L"\" " + Parameters, WorkingFolder, Out, Err, Process);
  if (Started) {
    ::WaitForSingleObject(Process.hProcess, INFINITE);
    DWORD Code = 0;
    ::GetExitCodeProcess(Process.hProcess, &Code);
    Run.ExitCode = static_cast<int>(Code);
    ::CloseHandle(Process.hProcess);
    ::CloseHandle(Process.hThread);
    Run.Output = ReadAll(Out);
    Run.Errors = ReadAll(Err);
  }
  for (HANDLE File : {Out, Err})
    if (File != INVALID_HANDLE_VALUE)
      ::CloseHandle(File);
  return Started;
}

std::string ProgramFolder() {
  wchar_t Buffer[MAX_PATH];
  DWORD Length = ::GetModuleFileNameW(nullptr, Buffer, MAX_PATH);
  std::wstring Path(Buffer, Length);
  return WideToAnsi(Path.substr(0, Path.find_last_of(L"\\/") + 1));
}

const char* ExecutableSuffix() {
  return ".exe";
}

std::wstring OwnCommandLine(int, char**) {
  return ::GetCommandLineW();
}

} // namespace platform
