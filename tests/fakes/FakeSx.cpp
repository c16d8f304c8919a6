// A stand-in for the sound converter in tests. It records the folder it runs in and its command line
// (appended as one line "folder|command line" to the file named by ORVIK_FAKE_SX_LOG), and writes to the
// output a text naming its options followed by the bytes of its input. With ORVIK_FAKE_SX_FAIL set to a
// text it writes no output, only that text and the input's path on standard error ("<text>: <input>"),
// and exits with 3.
//
//   sx <option>... "<input>" -="<output>"

#include "base/Text.h"
#include "platform/Process.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
// The fake runs thousands of times in the crash loops and holds nothing worth a leak check at its exit.
extern "C" const char* __asan_default_options() {
  return "detect_leaks=0";
}
#endif

int main(int Argc, char** Argv) {
  std::wstring CommandLine = platform::OwnCommandLine(Argc, Argv);
  if (const char* Log = std::getenv("ORVIK_FAKE_SX_LOG")) {
    std::ofstream Out(Log, std::ios::app | std::ios::binary);
    Out << std::filesystem::current_path().string() << "|" << WideToAnsi(CommandLine) << "\n";
  }
  std::vector<std::wstring> Arguments;
#ifdef _WIN32
  Arguments = platform::SplitCommandLine(CommandLine);
#else
  for (int I = 0; I < Argc; ++I)
    Arguments.push_back(AnsiToWide(Argv[I]));
#endif
  const char* Fail = std::getenv("ORVIK_FAKE_SX_FAIL");
  if (Fail != nullptr && *Fail != '\0') {
    std::string Reason =
        std::string(Fail) + ": " + (Arguments.size() >= 4 ? WideToAnsi(Arguments[Arguments.size() - 2]) : "");
    std::fputs((Reason + "\n").c_str(), stderr);
    return 3;
  }
  if (Arguments.size() < 4)
    return 3;
  std::string Output = WideToAnsi(Arguments.back());
  if (Output.rfind("-=", 0) != 0)
    return 4;
  Output = Output.substr(2);
  std::string Input = WideToAnsi(Arguments[Arguments.size() - 2]);
  std::string Options;
  for (size_t I = 1; I + 2 < Arguments.size(); ++I)
    Options += (I > 1 ? " " : "") + WideToAnsi(Arguments[I]);
  std::ifstream In(Input, std::ios::binary);
  if (!In)
    return 5;
  std::vector<char> Data((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
  std::ofstream Out(Output, std::ios::binary | std::ios::trunc);
  Out << "FAKE " << Options << "\n";
  Out.write(Data.data(), static_cast<std::streamsize>(Data.size()));
  return Out ? 0 : 6;
}
