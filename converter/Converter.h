#pragma once
// One conversion: read the input file, find its kind from its content, decode it and write the output
// format. The output appears at its path only when it is complete: it is written to a scratch file beside
// it and then moved into place; on failure the scratch file is removed and an existing output is left as
// it was.

#include "converter/CommandLine.h"
#include "converter/analysis/Gain.h"

namespace sx {

enum class TInputKind { Unknown, Wave, Aiff, EAStream, Mp3, Flac };

TInputKind DetectInput(const Bytes& Data);

// Decodes an input of any kind; Codec, when given, receives the name of what the samples were stored as
// (an EA stream's codec as EACodecName gives it, else "PCM", "FLAC" or "MP3"). Raises EConvertError for
// an empty or unrecognised input.
TAudio ReadAudio(const Bytes& Data, std::string* Codec = nullptr);

// Encodes Audio in the command's output format.
Bytes WriteAudio(const TAudio& Audio, const TCommand& Command);

// The whole input file. Raises the file layer's errors, naming Path.
Bytes LoadFile(const std::string& Path);

struct TConversion {
  std::vector<std::string> Warnings; // the reader's: damage it read past
  std::optional<TGainResult> Gain;   // with a gain or a loudness in the command: the gain it became
  std::optional<double> Integrated;  // with a loudness: the input's integrated loudness (LUFS), empty
                                     // for silence
  std::string TagsLine;              // with -with-tags: the input's line of -tags, or its error line
};

// Runs the command: the input is decoded, trimmed and faded out when the command says so, its level
// changed when the command gives a gain or a loudness (measured on the sound kept, whose true peak then
// serves the limit too), and encoded.
// Raises EConvertError, or the stream errors of the file layer, on failure; a file that cannot be written
// is named by the output path the command gave, never by the scratch file.
TConversion Convert(const TCommand& Command);

// The whole program: arguments after the program name in, exit code out. Messages go to the given
// streams (usage to Out, one line per failure or warning to Err); warnings alone leave the exit code 0.
// A conversion with a gain writes one JSON line to Out: {"output", "gainRequested", "gainApplied",
// "heldBack", "truePeak"}; with a loudness, the same with "integrated" after "output" (null for silence,
// whose gain is 0). -measure and -tags write their reports to Out, one line per input, and exit
// with 2 when any input failed (its line then holds the error).
int RunConverter(const std::vector<std::string>& Arguments, std::string& Out, std::string& Err);

} // namespace sx
