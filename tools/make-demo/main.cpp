// make-demo FOLDER: writes the demo game below FOLDER (see Demo.h).
#include "tools/make-demo/Demo.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr,
                 "Usage: make-demo FOLDER\nWrites a demo ORVIK game (audio\\streams.dat, its archives and "
                 "the preload archives) below FOLDER.\n");
    return 2;
  }
  try {
    demo::MakeDemo(argv[1]);
  } catch (const std::exception& Error) {
    std::fprintf(stderr, "make-demo: %s\n", Error.what());
    return 1;
  }
  return 0;
}
