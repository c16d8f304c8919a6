// orvik-streams: see Tool.h.
#include "tools/orvik-streams/Tool.h"

#include <iostream>

int main(int argc, char** argv) {
  std::vector<std::string> Arguments(argv + 1, argv + argc);
  return RunTool(Arguments, std::cout, std::cerr);
}
