#pragma once
// The converter's command line: sx <options> "<input>" -="<output>". The options name the output format:
// -wave, -aiff, -flac, or -pcstream with one of -eaxa_blk, -s16l_blk, -s8_blk, -mt_blk, -mt5_blk
// (-pcstream alone means EA-XA), and -gain=<dB> changes the level on the way, or -loudness=<LUFS> sets it
// from the sound's own measure; -title=, -artist= and -album= tag a Wave, AIFF or FLAC output; -start=,
// -end= and -fade-out= (seconds) trim the sound and fade it out before its level changes.
// sx -measure [-points=<N>] "<input>"... and sx -tags "<input>"... report on each input instead of
// converting.

#include "converter/analysis/Shape.h"
#include "converter/codecs/EACodec.h"
#include "converter/formats/Tags.h"

#include <optional>
#include <string>
#include <vector>

namespace sx {

enum class TOutputKind { Wave, Aiff, EAStream, Flac };
enum class TAction { Convert, Measure, Tags };

struct TCommand {
  TAction Action = TAction::Convert;
  TOutputKind Kind = TOutputKind::Wave;
  TEACodec Codec = TEACodec::EAXA;
  std::string Input;
  std::string Output;
  std::optional<double> GainDb;     // conversions: -gain=<dB>, from -60 to +60
  std::optional<double> Loudness;   // conversions: -loudness=<LUFS>, from -70 to +10; not with a gain
  TTags Tags;                       // conversions to Wave, AIFF and FLAC: -title=, -artist=, -album=
  TShape Shape;                     // conversions: -start=, -end=, -fade-out=, 0 to a day, end after start
  size_t Points = 0;                // -measure: -points=<N>, the envelope's slices, 1 to 100000; 0: none
  std::vector<std::string> Reports; // -measure and -tags: the inputs, in order, at least one
  bool WithTags = false;            // conversions: -with-tags, the input's tags reported first
};

// Parses the arguments after the program name. Raises EConvertError with a one-line reason for a missing
// input or output, an unknown option, more than one output format, a gain or loudness that is not a number in
// range, both given, a tag given twice, not UTF-8 or holding a control character, tags for a stream, a
// time that is not a number of seconds in range or an end not after the start, a -points that is not a
// whole number in range or not with -measure, or options of a conversion given with -measure or -tags.
TCommand ParseCommand(const std::vector<std::string>& Arguments);

// The usage text printed when there are no arguments.
const char* UsageText();

} // namespace sx
