#include "converter/Arguments.h"

#include "platform/Process.h"
#include "platform/Text.h"

namespace sx {

std::vector<std::string> ProgramArguments(int Argc, char** Argv) {
  platform::UseUtf8FileNames();
  std::vector<std::string> Arguments;
  for (const std::wstring& Argument : platform::SplitCommandLine(platform::OwnCommandLine(Argc, Argv)))
    Arguments.push_back(platform::WideToFileName(Argument));
  if (!Arguments.empty())
    Arguments.erase(Arguments.begin());
  return Arguments;
}

} // namespace sx
