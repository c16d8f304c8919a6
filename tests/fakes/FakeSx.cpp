// A stand-in for the sound converter in tests. It records the folder it runs in and its command line
// (appended as one line "folder|command line" to the file named by ORVIK_FAKE_SX_LOG), and writes to the
// output a text naming its options followed by the bytes of its input. With ORVIK_FAKE_SX_FAIL set to a
// text it writes no output, only that text and the input's path on standard error ("<text>: <input>"),
// and exits with 3.
//
//   sx <option>... "<input>" -="<output>"
//   sx -measure [-points=<N>] "<input>"...
//
// -measure reports every input as an EA-XA stream of one second at -20 LUFS with its peaks at -6 dBFS, and
// with -points an outline that tells inputs of different sizes apart; a
// conversion with -gain=<dB> reports that gain as applied.

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

// Text inside a JSON string: Windows paths hold backslashes.
std::string JsonText(const std::string& Text) {
  std::string Escaped;
  for (char C : Text) {
    if (C == '\\' || C == '"')
      Escaped += '\\';
    Escaped += C;
  }
  return Escaped;
}

// The outline field of a song of one channel whose every slice spans -S to S, S being the input's size
// modulo 32768: songs of other sizes have other outlines.
std::string Envelope(const std::string& Input, size_t Points) {
  const std::string S = std::to_string(std::filesystem::file_size(Input) % 32768);
  std::string Json = ",\"envelope\":[[";
  for (size_t I = 0; I < Points; ++I)
    Json += (I == 0 ? "[-" : ",[-") + S + "," + S + "]";
  return Json + "]]";
}

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
  if (Arguments.size() >= 2 && Arguments[1] == L"-measure") {
    size_t First = 2, Points = 0;
    if (Arguments.size() > 2 && Arguments[2].rfind(L"-points=", 0) == 0)
      Points = std::stoul(Arguments[First++].substr(8));
    for (size_t I = First; I < Arguments.size(); ++I) {
      const std::string Input = WideToAnsi(Arguments[I]);
      std::printf(
          "{\"input\":\"%s\",\"integrated\":-20.00,\"truePeak\":-6.00,\"samplePeak\":-6.00,"
          "\"sampleRate\":22050,\"channels\":1,\"seconds\":1.000,\"frames\":22050,\"codec\":\"EA-XA\"%s}\n",
          JsonText(Input).c_str(), Points == 0 ? "" : Envelope(Input, Points).c_str());
    }
    return 0;
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
  if (!Out)
    return 6;
  for (size_t I = 1; I + 2 < Arguments.size(); ++I)
    if (Arguments[I].rfind(L"-gain=", 0) == 0) {
      const std::string Gain = WideToAnsi(Arguments[I].substr(6));
      std::printf("{\"output\":\"%s\",\"gainRequested\":%s,\"gainApplied\":%s,\"heldBack\":false,"
                  "\"truePeak\":-6.00}\n",
                  JsonText(Output).c_str(), Gain.c_str(), Gain.c_str());
    }
  return 0;
}
