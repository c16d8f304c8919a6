#include "platform/Process.h"
#include "platform/Text.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <memory>
#include <thread>
#include <vector>

namespace platform {

namespace {

constexpr size_t ErrorOutputLimit = 64 * 1024;

// A pipe for a child's standard error: the write end inheritable and listed as the only handle the child
// inherits, the read end private. The start-up information refers to both while the object lives.
class TErrorPipe {
public:
  TErrorPipe() {
    SECURITY_ATTRIBUTES Inheritable{sizeof Inheritable, nullptr, TRUE};
    if (!::CreatePipe(&FRead, &FWrite, &Inheritable, 0)) {
      FRead = FWrite = nullptr;
      return;
    }
    ::SetHandleInformation(FRead, HANDLE_FLAG_INHERIT, 0);
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
  bool Started = ::CreateProcessW(nullptr, CommandLine.data(), nullptr, nullptr, Pipe ? TRUE : FALSE, Flags,
                                  nullptr, WorkingFolder.c_str(), &StartUp.StartupInfo, &Process) != FALSE;
  if (Pipe)
    Pipe->CloseWriteEnd();
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
