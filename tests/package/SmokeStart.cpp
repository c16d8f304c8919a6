// orvik_smoke_start PROGRAM: starts the editor at PROGRAM, waits for its main window, checks the window's
// caption, closes it as a user would and waits for the program to end. Exit code 0 when all of that
// happened; otherwise one line on standard error saying what did not.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

constexpr DWORD Patience = 60000; // ms; a fresh Wine prefix can take long for a first window

struct TFound {
  DWORD ProcessId;
  HWND Window = nullptr;
};

BOOL CALLBACK FindMainWindow(HWND Window, LPARAM Param) {
  auto& Found = *reinterpret_cast<TFound*>(Param);
  DWORD Owner = 0;
  ::GetWindowThreadProcessId(Window, &Owner);
  wchar_t Class[64] = {};
  ::GetClassNameW(Window, Class, 64);
  if (Owner == Found.ProcessId && ::IsWindowVisible(Window) && std::wstring(Class) == L"TfrmORVStreams") {
    Found.Window = Window;
    return FALSE;
  }
  return TRUE;
}

int Fail(const char* What) {
  std::fprintf(stderr, "smoke start: %s\n", What);
  return 1;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2)
    return Fail("usage: orvik_smoke_start PROGRAM");
  std::wstring CommandLine = L"\"" + std::wstring(argv[1]) + L"\"";
  STARTUPINFOW Startup{};
  Startup.cb = sizeof Startup;
  PROCESS_INFORMATION Process{};
  if (!::CreateProcessW(argv[1], CommandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &Startup,
                        &Process))
    return Fail("the program did not start");
  TFound Found{Process.dwProcessId};
  for (DWORD Waited = 0; Found.Window == nullptr && Waited < Patience; Waited += 100) {
    if (::WaitForSingleObject(Process.hProcess, 100) == WAIT_OBJECT_0)
      return Fail("the program ended before showing its window");
    ::EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&Found));
  }
  if (Found.Window == nullptr) {
    ::TerminateProcess(Process.hProcess, 1);
    return Fail("no main window appeared");
  }
  wchar_t Caption[256] = {};
  ::GetWindowTextW(Found.Window, Caption, 256);
  bool CaptionRight = std::wstring(Caption) == L"ORVIK Streams Editor";
  ::PostMessageW(Found.Window, WM_CLOSE, 0, 0);
  if (::WaitForSingleObject(Process.hProcess, Patience) != WAIT_OBJECT_0) {
    ::TerminateProcess(Process.hProcess, 1);
    return Fail("the program did not end when its window was closed");
  }
  DWORD ExitCode = 1;
  ::GetExitCodeProcess(Process.hProcess, &ExitCode);
  if (!CaptionRight)
    return Fail("the main window's caption is not \"ORVIK Streams Editor\"");
  if (ExitCode != 0)
    return Fail("the program ended with an exit code other than 0");
  std::printf("smoke start: window \"ORVIK Streams Editor\" shown and closed\n");
  return 0;
}
