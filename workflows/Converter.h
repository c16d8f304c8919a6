#pragma once
// The converter sx, run as a child process: conversions (with an optional gain), loudness measures and
// tag reports. This is the one place that writes the converter's command lines; the window and the
// command-line tool ask here.

#include "workflows/ConverterReports.h"

#include <optional>
#include <string>
#include <vector>

// What one run of the converter gave.
struct TConverterRun {
  bool Started = false;        // false when the process could not be started
  std::optional<int> ExitCode; // none when the runner does not read it
  std::string Output, Errors;  // standard output and standard error
};

// Runs the converter with the given parameters (the command line after the program's name) and waits for
// it. The parameters are wide, so that any file name the user picked reaches the converter as it is. A
// batch calls it from several threads at once.
class IConverterProcess {
public:
  virtual ~IConverterProcess() = default;
  virtual TConverterRun Run(const std::wstring& Parameters) = 0;
};

// The real converter: sx (sx.exe on Windows) in the folder "sx" below ProgramFolder, run in that folder.
class TSystemConverterProcess : public IConverterProcess {
public:
  explicit TSystemConverterProcess(const std::string& ProgramFolder);
  // Raises "The converter is missing: <path>" when there is no converter.
  TConverterRun Run(const std::wstring& Parameters) override;

private:
  std::string FFolder, FProgram;
};

// An output format of the converter.
struct TConverterFormat {
  const char* Name;      // as the command line names it: wave, aiff, eaxa, s16l, s8, mt, mt5, flac
  const char* Option;    // the converter's option text, with a trailing blank
  const char* Extension; // of a file in that format, with its dot
  bool Tagged = false;   // its files carry a title, an artist and an album
};

// A song's description as the tags of an exported file, in the definition's code page; empty: none.
struct TSongTags {
  std::string Title, Artist, Album;
};

const std::vector<TConverterFormat>& ConverterFormats();
// The format of that name, or nullptr.
const TConverterFormat* FindConverterFormat(const std::string& Name);
// The format of songs in the game's archives (EA-XA streams).
const TConverterFormat& SongFormat();
// The EA stream format that stores its samples as Codec, as the converter's measure names it ("EA-XA",
// "MicroTalk 10:1", "MicroTalk 5:1", "s16l", "s8"); nullptr for a codec it reads but does not write.
const TConverterFormat* EAFormatOfCodec(const std::string& Codec);

// What a conversion gave.
struct TConversion {
  bool Made = false;               // the output file is there
  std::string Reason;              // when not made: the converter's own words (its standard error), one line
  std::optional<TGainReport> Gain; // with a gain: the converter's report of it
};

// The trim and fade-out a conversion makes before any change of level (seconds; empty: none). End lies
// after Start; times past the song's end are the converter's to refuse or cut.
struct TSongShape {
  std::optional<double> Start, End, FadeOut;
  bool Empty() const { return !Start && !End && !FadeOut; }
  bool operator==(const TSongShape&) const = default;
};

// The converter's range of loudness targets (LUFS).
constexpr double kLowestTargetLufs = -70, kHighestTargetLufs = 10;

// The converter's limit for each time: a day.
constexpr double kLongestShapeSeconds = 86400;

// Runs the converter through a runner; safe to use from several threads when the runner is.
class TConverter {
public:
  explicit TConverter(IConverterProcess& Runner) : FRunner(Runner) {}

  // Converts Input to Output in Format, trimmed and faded out as Shape says, its level then changed by
  // GainDb (dB, -60 to 60) when given; an empty Shape gives the command line of a plain conversion. Paths are
  // passed in full, since the converter runs in its own folder; a narrow path is a file name of the
  // platform's file calls, a wide one any name the user picked. Raises "The converter could not be
  // started" and the runner's errors; a conversion that fails is not an error here (Made false). A
  // conversion with a gain whose report cannot be read counts as failed.
  TConversion Convert(const TConverterFormat& Format, const std::wstring& Input, const std::wstring& Output,
                      std::optional<double> GainDb = std::nullopt, const TSongShape& Shape = {});
  TConversion Convert(const TConverterFormat& Format, const std::string& Input, const std::string& Output,
                      std::optional<double> GainDb = std::nullopt, const TSongShape& Shape = {},
                      TTagsReport* InputTags = nullptr);
  // Converts as Convert does, the output tagged with Tags when Format's files carry tags.
  TConversion ConvertTagged(const TConverterFormat& Format, const std::wstring& Input,
                            const std::wstring& Output, const TSongTags& Tags);
  // Converts as Convert does, with the gain that brings the song's integrated loudness to TargetLufs
  // (kept within the converter's -70 to 10 LUFS), measured by the converter on the decoded song in the
  // same run (after Shape's trim and fade). Gain->Integrated is the song's loudness before; silence keeps
  // its level. A report without the loudness counts as failed.
  // Given InputTags, this and the narrow Convert read the input's tags in the same run, as Tags reads
  // them: InputTags gets them, or an Error (the conversion's reason when it failed).
  TConversion ConvertToLoudness(const TConverterFormat& Format, const std::string& Input,
                                const std::string& Output, double TargetLufs, const TSongShape& Shape = {},
                                TTagsReport* InputTags = nullptr);
  // One report per input, in order, from one run. An input whose line is missing or unreadable gets an
  // Error. Points (1 to the converter's 100000) asks for each song's outline of that many slices; a line
  // without it then counts as unreadable. Raises as Convert.
  std::vector<TMeasureReport> Measure(const std::vector<std::string>& Inputs, size_t Points = 0);
  std::vector<TTagsReport> Tags(const std::vector<std::string>& Inputs);

private:
  TConverterRun RunStarted(const std::wstring& Parameters);
  // Runs a conversion with the level option Level (with its trailing blank, or empty); with a level, the
  // report's last line must read, and give the loudness when Measured.
  // Tags: the tag options, each with a trailing blank. InputTags: the input's tags are read too.
  TConversion RunConversion(const TConverterFormat& Format, const std::wstring& Input,
                            const std::wstring& Output, const std::string& Level, bool Measured,
                            const TSongShape& Shape, const std::wstring& Tags = L"",
                            TTagsReport* InputTags = nullptr);

  IConverterProcess& FRunner;
};

// The text of the converter's standard error as one line: lines joined by "; ", without blanks around.
std::string OneLineReason(const std::string& Errors);
