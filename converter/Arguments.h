#pragma once
// The program's arguments after its name, in the system's single-byte text. On Windows they come from the
// wide command line (so that any path the caller quoted survives), split by platform::SplitCommandLine;
// natively from argv.

#include <string>
#include <vector>

namespace sx {

std::vector<std::string> ProgramArguments(int Argc, char** Argv);

} // namespace sx
