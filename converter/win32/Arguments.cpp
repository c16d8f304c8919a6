#include "converter/Arguments.h"

#include "converter/CommandLine.h"
#include "platform/Text.h"

#include <windows.h>

namespace sx {

std::vector<std::string> ProgramArguments(int, char**) {
  std::vector<std::string> Arguments = SplitCommandLine(platform::WideToAnsi(::GetCommandLineW()));
  if (!Arguments.empty())
    Arguments.erase(Arguments.begin());
  return Arguments;
}

} // namespace sx
