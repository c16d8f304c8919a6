#pragma once
// The program's arguments after its name, as file names of the platform layer. On Windows they come from
// the wide command line, split by platform::SplitCommandLine, in UTF-8, and the platform layer takes file
// names in UTF-8 from then on, so that any path the caller quoted survives; natively they are argv.

#include <string>
#include <vector>

namespace sx {

std::vector<std::string> ProgramArguments(int Argc, char** Argv);

} // namespace sx
