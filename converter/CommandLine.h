#pragma once
// The converter's command line: sx <options> "<input>" -="<output>". The options name the output format:
// -wave, -aiff, or -pcstream with one of -eaxa_blk, -s16l_blk, -s8_blk, -mt_blk, -mt5_blk (-pcstream
// alone means EA-XA).

#include "converter/codecs/EACodec.h"

#include <string>
#include <vector>

namespace sx {

enum class TOutputKind { Wave, Aiff, EAStream };

struct TCommand {
  TOutputKind Kind = TOutputKind::Wave;
  TEACodec Codec = TEACodec::EAXA;
  std::string Input;
  std::string Output;
};

// Parses the arguments after the program name. Raises EConvertError with a one-line reason for a missing
// input or output, an unknown option or more than one output format.
TCommand ParseCommand(const std::vector<std::string>& Arguments);

// The usage text printed when there are no arguments.
const char* UsageText();

} // namespace sx
