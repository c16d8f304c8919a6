// sx: converts between Wave, AIFF, MP3 (input only) and EA SPORTS PC streams.
#include "converter/Arguments.h"
#include "converter/Converter.h"

#include <cstdio>

int main(int Argc, char** Argv) {
  std::string Out, Err;
  int Code = sx::RunConverter(sx::ProgramArguments(Argc, Argv), Out, Err);
  std::fputs(Out.c_str(), stdout);
  std::fputs(Err.c_str(), stderr);
  return Code;
}
