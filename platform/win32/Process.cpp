#include "platform/Process.h"
#include "platform/Text.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

namespace {

constexpr size_t ErrorOutputLimit = 64 * 1024;

// Handles are made inheritable only for the moment of one CreateProcess, under this lock, so that a child
// started by another thread never holds them (Wine does not keep a child to its handle list).
std::mutex InheritLock;

// Starts CommandLine in WorkingFolder with Flags and the window fields of StartUp. Output and Error (either
// may be null) become the child's standard output and error, and they are the only handles it inherits:
// listed for it (PROC_THREAD_ATTRIBUTE_HANDLE_LIST) and inheritable only while it starts. Every child of
// this process starts here, so two threads starting children at once never hand each other's handles on.
bool StartChild(std::wstring CommandLine, const std::wstring& WorkingFolder, DWORD Flags, STARTUPINFOW Base,
                HANDLE Output, HANDLE Error, PROCESS_INFORMATION& Process) {
  STARTUPINFOEXW StartUp{};
  StartUp.StartupInfo = Base;
  StartUp.StartupInfo.cb = sizeof StartUp.StartupInfo;
  std::vector<HANDLE> Inherited;
  for (HANDLE Handle : {Output, Error})
    if (Handle != nullptr && Handle != INVALID_HANDLE_VALUE)
      Inherited.push_back(Handle);
  std::vector<char> Attributes;
  if (!Inherited.empty()) {
    SIZE_T Size = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &Size);
    Attributes.resize(Size);
    auto* List = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(Attributes.data());
    if (!::InitializeProcThreadAttributeList(List, 1, 0, &Size))
      return false;
    if (!::UpdateProcThreadAttribute(List, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, Inherited.data(),
                                     Inherited.size() * sizeof(HANDLE), nullptr, nullptr)) {
      ::DeleteProcThreadAttributeList(List);
      return false;
    }
    StartUp.StartupInfo.cb = sizeof StartUp;
    StartUp.StartupInfo.dwFlags |= STARTF_USESTDHANDLES;
    StartUp.StartupInfo.hStdInput = nullptr;
    StartUp.StartupInfo.hStdOutput = Output;
    StartUp.StartupInfo.hStdError = Error;
    StartUp.lpAttributeList = List;
    Flags |= EXTENDED_STARTUPINFO_PRESENT;
  }
  BOOL Started = FALSE;
  {
    std::lock_guard<std::mutex> Lock(InheritLock);
    for (HANDLE Handle : Inherited)
      ::SetHandleInformation(Handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    Started =
        ::CreateProcessW(nullptr, CommandLine.data(), nullptr, nullptr, Inherited.empty() ? FALSE : TRUE,
                         Flags, nullptr, WorkingFolder.c_str(), &StartUp.StartupInfo, &Process);
    for (HANDLE Handle : Inherited)
      ::SetHandleInformation(Handle, HANDLE_FLAG_INHERIT, 0);
  }
  if (StartUp.lpAttributeList != nullptr)
    ::DeleteProcThreadAttributeList(StartUp.lpAttributeList);
  return Started != FALSE;
}

std::wstring CommandLineOf(const std::wstring& Program, const std::wstring& Parameters) {
  return L"\"" + Program + L"\" " + Parameters;
}

void Wait(HANDLE Process, const std::function<void()>& WhileWaiting) {
  if (WhileWaiting) {
    while (::MsgWaitForMultipleObjects(1, &Process, FALSE, INFINITE, QS_PAINT | QS_TIMER | QS_INPUT) ==
           WAIT_OBJECT_0 + 1)
      WhileWaiting();
  } else {
    ::WaitForSingleObject(Process, INFINITE);
  }
}

// Reads Pipe until every write end is closed, keeping the first ErrorOutputLimit bytes.
void ReadPipe(HANDLE Pipe, std::string& Output) {
  char Buffer[4096];
  DWORD Got = 0;
  while (::ReadFile(Pipe, Buffer, sizeof Buffer, &Got, nullptr) && Got > 0)
    Output.append(Buffer, std::min<size_t>(Got, ErrorOutputLimit - Output.size()));
}

} // namespace

bool ExecuteAndWait(const std::wstring& Program, const std::wstring& Parameters,
                    const std::wstring& WorkingFolder, uint16_t ShowMode,
                    const std::function<void()>& WhileWaiting, std::string* ErrorOutput) {
  STARTUPINFOW Base{};
  Base.dwFlags = STARTF_USESHOWWINDOW;
  Base.wShowWindow = ShowMode;
  HANDLE Read = nullptr, Write = nullptr;
  if (ErrorOutput != nullptr) {
    ErrorOutput->clear();
    if (!::CreatePipe(&Read, &Write, nullptr, 0))
      return false;
  }
  PROCESS_INFORMATION Process{};
  bool Started = StartChild(CommandLineOf(Program, Parameters), WorkingFolder,
                            CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS, Base, nullptr, Write, Process);
  // Once the child holds its copy, ours goes, so that the pipe ends when the child's copy closes.
  if (Write != nullptr)
    ::CloseHandle(Write);
  if (Started) {
    // The pipe is drained on a thread of its own while this one waits, so a child that writes much never
    // blocks on it.
    std::thread Reader;
    if (Read != nullptr)
      Reader = std::thread([&] { ReadPipe(Read, *ErrorOutput); });
    Wait(Process.hProcess, WhileWaiting);
    if (Reader.joinable())
      Reader.join();
    ::CloseHandle(Process.hProcess);
    ::CloseHandle(Process.hThread);
  }
  if (Read != nullptr)
    ::CloseHandle(Read);
  return Started;
}

namespace {

// A scratch file for one standard stream of a child: deleted by the system when its last handle closes.
HANDLE CaptureFile() {
  wchar_t Folder[MAX_PATH + 1], Name[MAX_PATH + 1];
  DWORD Length = ::GetTempPathW(MAX_PATH + 1, Folder);
  if (Length == 0 || Length > MAX_PATH || ::GetTempFileNameW(Folder, L"~cap", 0, Name) == 0)
    return INVALID_HANDLE_VALUE;
  return ::CreateFileW(Name, GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
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

} // namespace

bool ExecuteCapturing(const std::wstring& Program, const std::wstring& Parameters,
                      const std::wstring& WorkingFolder, TCapturedRun& Run) {
  HANDLE Out = CaptureFile(), Err = CaptureFile();
  PROCESS_INFORMATION Process{};
  // Detached: a console program then gets no console, and so no console host (Wine starts one for every
  // console child otherwise) that would hold the scratch files open after the child has ended.
  bool Started = Out != INVALID_HANDLE_VALUE && Err != INVALID_HANDLE_VALUE &&
                 StartChild(CommandLineOf(Program, Parameters), WorkingFolder,
                            DETACHED_PROCESS | NORMAL_PRIORITY_CLASS, STARTUPINFOW{}, Out, Err, Process);
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
