#include "converter/Arguments.h"

namespace sx {

std::vector<std::string> ProgramArguments(int Argc, char** Argv) {
  return {Argv + (Argc > 0), Argv + Argc};
}

} // namespace sx
