#include "platform/Process.h"
#include "platform/Text.h"

#include <windows.h>

#include <mutex>

namespace platform {

bool ExecuteAndWait(const std::wstring& Program, const std::wstring& Parameters,
                    const std::wstring& WorkingFolder, uint16_t ShowMode,
                    const std::function<void()>& WhileWaiting) {
  std::wstring CommandLine = L"\"" + Program + L"\" " + Parameters;
  STARTUPINFOW StartUp{};
  StartUp.cb = sizeof StartUp;
  StartUp.dwFlags = STARTF_USESHOWWINDOW;
  StartUp.wShowWindow = ShowMode;
  PROCESS_INFORMATION Process{};
  if (!::CreateProcessW(nullptr, CommandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS, nullptr, WorkingFolder.c_str(), &StartUp,
                        &Process))
    return false;
  if (WhileWaiting) {
    while (::MsgWaitForMultipleObjects(1, &Process.hProcess, FALSE, INFINITE,
                                       QS_PAINT | QS_TIMER | QS_INPUT) == WAIT_OBJECT_0 + 1)
      WhileWaiting();
  } else {
    ::WaitForSingleObject(Process.hProcess, INFINITE);
  }
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

// Handles are made inheritable only for the moment of one CreateProcess, under this lock, so that a child
// started by another thread never holds them.
std::mutex InheritLock;

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
