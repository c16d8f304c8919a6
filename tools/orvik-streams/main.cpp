// orvik-streams: see Tool.h.
#include "tools/orvik-streams/Tool.h"

#include <iostream>

#ifdef _WIN32
#include "base/Text.h"
#include "workflows/TagDescriptions.h"

#include <windows.h>

#include <shellapi.h>

namespace {

// The arguments as the system holds them, in UTF-8: argv has them in the ANSI code page, which may lack
// a character of a description or a file name.
std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  std::vector<std::string> Arguments;
  int Count = 0;
  LPWSTR* Wide = ::CommandLineToArgvW(::GetCommandLineW(), &Count);
  if (Wide == nullptr) {
    for (int I = 1; I < argc; ++I)
      Arguments.push_back(Utf8FromWide(AnsiToWide(argv[I])));
    return Arguments;
  }
  for (int I = 1; I < Count; ++I)
    Arguments.push_back(Utf8FromWide(Wide[I]));
  ::LocalFree(Wide);
  return Arguments;
}

} // namespace

int main(int argc, char** argv) {
  // A console shows the UTF-8 the tool writes once told so, and is given back its code page after; a pipe
  // or a file takes the bytes as they are.
  DWORD Mode = 0;
  bool Console = ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &Mode) ||
                 ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &Mode);
  UINT CodePage = ::GetConsoleOutputCP();
  if (Console)
    ::SetConsoleOutputCP(CP_UTF8);
  int Code = RunTool(Utf8Arguments(argc, argv), std::cout, std::cerr);
  std::cout.flush();
  std::cerr.flush();
  if (Console)
    ::SetConsoleOutputCP(CodePage);
  return Code;
}
#else
int main(int argc, char** argv) {
  std::vector<std::string> Arguments(argv + 1, argv + argc);
  return RunTool(Arguments, std::cout, std::cerr);
}
#endif
