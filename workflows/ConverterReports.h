#pragma once
// The one-line JSON reports of the converter (sx -measure, sx -tags, and a conversion with -gain or
// -loudness), read
// back. The converter is another program: a line is checked before anything in it is used, and a line
// that is not a JSON object of the expected fields (its values plain, or lists of numbers nested at most
// three deep), with numbers in their plausible ranges, is refused as a whole (nullopt). Unknown fields are
// ignored; a line may end in CR LF.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The smallest and largest sample of one slice of a song, in 16-bit units.
struct TEnvelopePoint {
  int16_t Min = 0, Max = 0;
  bool operator==(const TEnvelopePoint&) const = default;
};

// sx -measure: one input's loudness (LUFS) and peaks (dBTP, dBFS). Error holds the converter's reason for
// an input it could not read; the numbers are then empty.
struct TMeasureReport {
  std::string Input, Error;
  std::optional<double> Integrated, TruePeak, SamplePeak; // null for silence (and Integrated under 0.4 s)
  double Seconds = 0;
  // What the song is stored as ("EA-XA", "MicroTalk 10:1", "PCM", "MP3", ...); empty when the line does not
  // say. A line that names it in anything but up to 32 printable ASCII characters is refused.
  std::string Codec;
  // Frames a second and channels (1 to 255); 0 when the line does not say.
  uint32_t SampleRate = 0;
  uint32_t Channels = 0;
  // With -points: the song's outline, one list per channel, each of the same number of slices (at most the
  // converter's limit); empty when the line has none. A line whose outline does not match its channels, or
  // holds a slice whose Min is above its Max, is refused.
  std::vector<std::vector<TEnvelopePoint>> Envelope;
};

// sx -tags: one input's texts in UTF-8, empty when not known; Error as above.
struct TTagsReport {
  std::string Input, Error;
  std::string Title, Artist, Album;
};

// A conversion with -gain or -loudness: the gain asked and the gain applied (dB), and whether the
// true-peak limit held it back.
struct TGainReport {
  double Requested = 0, Applied = 0;
  bool HeldBack = false;
  // The input's, dBTP: null for silence, left out when the peak lies too low for the gain to reach the
  // ceiling (the converter then seeks it no higher).
  std::optional<double> TruePeak;
  bool Measured = false;            // -loudness: the line gives the input's integrated loudness
  std::optional<double> Integrated; // then that loudness (LUFS); null for silence, whose gain is 0
};

std::optional<TMeasureReport> ParseMeasureLine(const std::string& Line);
std::optional<TTagsReport> ParseTagsLine(const std::string& Line);
std::optional<TGainReport> ParseGainLine(const std::string& Line);

// The lines of a program's output: split at LF, a CR before it dropped, empty lines left out.
std::vector<std::string> ReportLines(const std::string& Output);
