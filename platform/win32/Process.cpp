#include "platform/Process.h"
#include "platform/Text.h"

#include <windows.h>

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
