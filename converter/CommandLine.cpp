#include "converter/CommandLine.h"

#include "converter/analysis/Envelope.h"
#include "converter/analysis/Gain.h"
#include "converter/formats/TagText.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace sx {
namespace {

struct TOption {
  const char* Name;
  bool Stream;
  TEACodec Codec;
};

constexpr TOption kCodecOptions[] = {
    {"-eaxa_blk", true, TEACodec::EAXA},      {"-s16l_blk", true, TEACodec::PcmS16LE},
    {"-s8_blk", true, TEACodec::PcmS8},       {"-mt_blk", true, TEACodec::MicroTalk10},
    {"-mt5_blk", true, TEACodec::MicroTalk5},
};

void SetKind(TCommand& C, bool& HasKind, TOutputKind Kind) {
  if (HasKind && C.Kind != Kind)
    throw EConvertError("More than one output format given");
  C.Kind = Kind;
  HasKind = true;
}

void SetCodec(TCommand& C, bool& HasCodec, TEACodec Codec) {
  if (HasCodec && C.Codec != Codec)
    throw EConvertError("More than one stream codec given");
  C.Codec = Codec;
  HasCodec = true;
}

// The number of an option Name=<Text> in [Low, High]; Range is that range in words, for the message.
double ParseNumber(const std::string& Name, const std::string& Text, double Low, double High,
                   const char* Range) {
  // Only a plain decimal number: strtod would also take hexadecimal, "inf" and "nan".
  const bool Plain = !Text.empty() && Text.find_first_not_of("+-.0123456789") == std::string::npos;
  char* End = nullptr;
  const double Number = Plain ? std::strtod(Text.c_str(), &End) : 0;
  if (!Plain || End != Text.c_str() + Text.size() || Number < Low || Number > High)
    throw EConvertError(std::string(Range) + ": " + Name + "=" + Text);
  return Number;
}

// Sets a tag from -title=<text>, -artist=<text> or -album=<text>; false for any other argument. The text is
// the argument's UTF-8, without control characters (C0, DEL, C1); an empty one tags nothing.
bool SetTag(TCommand& C, const std::string& A, std::vector<std::string>& Given) {
  struct {
    const char* Option;
    std::string TTags::*Field;
  } const kTags[] = {{"-title=", &TTags::Title}, {"-artist=", &TTags::Artist}, {"-album=", &TTags::Album}};
  for (const auto& T : kTags) {
    const std::string Option = T.Option, Name = Option.substr(0, Option.size() - 1);
    if (A.rfind(Option, 0) != 0)
      continue;
    if (std::find(Given.begin(), Given.end(), Name) != Given.end())
      throw EConvertError("More than one " + Name + " given");
    Given.push_back(Name);
    const std::string Text = A.substr(Option.size());
    if (ValidUtf8(Text) != Text)
      throw EConvertError(Name + " is not UTF-8 text");
    for (size_t I = 0; I < Text.size(); ++I) {
      const auto Byte = static_cast<unsigned char>(Text[I]);
      const bool C1 = Byte == 0xC2 && I + 1 < Text.size() && static_cast<unsigned char>(Text[I + 1]) < 0xA0;
      if (Byte < 0x20 || Byte == 0x7F || C1)
        throw EConvertError(Name + " must not hold control characters (line breaks, tabs and the like)");
    }
    C.Tags.*T.Field = Text;
    return true;
  }
  return false;
}

// Sets a time of the shape from -start=<s>, -end=<s> or -fade-out=<s>; false for any other argument.
bool SetTime(TCommand& C, const std::string& A) {
  struct {
    const char* Option;
    std::optional<double> TShape::*Field;
  } const kTimes[] = {{"-start", &TShape::Start}, {"-end", &TShape::End}, {"-fade-out", &TShape::FadeOut}};
  for (const auto& T : kTimes) {
    const std::string Name = T.Option;
    if (A.rfind(Name + "=", 0) != 0)
      continue;
    if (C.Shape.*T.Field)
      throw EConvertError("More than one " + Name + " given");
    C.Shape.*T.Field = ParseNumber(Name, A.substr(Name.size() + 1), 0, kMaxShapeSeconds,
                                   "Times must be a number of seconds from 0 to 86400");
    return true;
  }
  return false;
}

// -points=<N>: a whole number of slices.
size_t ParsePoints(const std::string& Text) {
  const bool Digits =
      !Text.empty() && Text.size() <= 6 && Text.find_first_not_of("0123456789") == std::string::npos;
  const size_t Points = Digits ? std::stoul(Text) : 0;
  if (Points < 1 || Points > kMaxEnvelopePoints)
    throw EConvertError("The points must be a whole number from 1 to 100000: -points=" + Text);
  return Points;
}

// sx -measure|-tags "<input>"...: nothing but inputs after the action, and -points with -measure.
TCommand ParseReports(const std::vector<std::string>& Arguments) {
  TCommand C;
  bool HasAction = false;
  for (const std::string& A : Arguments) {
    if (A.rfind("-points=", 0) == 0) {
      if (C.Points != 0)
        throw EConvertError("More than one -points given");
      C.Points = ParsePoints(A.substr(8));
    } else if (A == "-measure" || A == "-tags") {
      const TAction Action = A == "-measure" ? TAction::Measure : TAction::Tags;
      if (HasAction && Action != C.Action)
        throw EConvertError("-measure and -tags cannot be given together");
      C.Action = Action;
      HasAction = true;
    } else if (A.empty() || A[0] == '-') {
      throw EConvertError("-measure and -tags take input files only, not " + (A.empty() ? "\"\"" : A));
    } else {
      C.Reports.push_back(A);
    }
  }
  if (C.Points != 0 && C.Action != TAction::Measure)
    throw EConvertError("-points needs -measure");
  if (C.Reports.empty())
    throw EConvertError("No input file given");
  return C;
}

} // namespace

TCommand ParseCommand(const std::vector<std::string>& Arguments) {
  for (const std::string& A : Arguments)
    if (A == "-measure" || A == "-tags")
      return ParseReports(Arguments);
  TCommand C;
  bool HasKind = false, HasCodec = false, HasInput = false, HasOutput = false;
  std::vector<std::string> TagsGiven;
  for (const std::string& A : Arguments) {
    if (SetTag(C, A, TagsGiven) || SetTime(C, A)) {
      continue;
    } else if (A.rfind("-=", 0) == 0) {
      if (HasOutput)
        throw EConvertError("More than one output file given");
      C.Output = A.substr(2);
      HasOutput = true;
    } else if (A == "-wave") {
      SetKind(C, HasKind, TOutputKind::Wave);
    } else if (A == "-aiff") {
      SetKind(C, HasKind, TOutputKind::Aiff);
    } else if (A == "-flac") {
      SetKind(C, HasKind, TOutputKind::Flac);
    } else if (A == "-pcstream") {
      SetKind(C, HasKind, TOutputKind::EAStream);
    } else if (A.rfind("-points=", 0) == 0) {
      throw EConvertError("-points needs -measure");
    } else if (A == "-with-tags") {
      C.WithTags = true;
    } else if (A.rfind("-gain=", 0) == 0) {
      if (C.GainDb)
        throw EConvertError("More than one gain given");
      C.GainDb = ParseNumber("-gain", A.substr(6), -kMaxGainDb, kMaxGainDb,
                             "The gain must be a number of dB from -60 to 60");
    } else if (A.rfind("-loudness=", 0) == 0) {
      if (C.Loudness)
        throw EConvertError("More than one loudness given");
      C.Loudness = ParseNumber("-loudness", A.substr(10), kLowestTargetLufs, kHighestTargetLufs,
                               "The loudness must be a number of LUFS from -70 to 10");
    } else if (!A.empty() && A[0] == '-') {
      bool Known = false;
      for (const TOption& O : kCodecOptions)
        if (A == O.Name) {
          SetCodec(C, HasCodec, O.Codec);
          Known = true;
        }
      if (!Known)
        throw EConvertError("Unknown option " + A);
    } else {
      if (HasInput)
        throw EConvertError("More than one input file given");
      C.Input = A;
      HasInput = true;
    }
  }
  if (C.Shape.Start && C.Shape.End && *C.Shape.End <= *C.Shape.Start)
    throw EConvertError("-end must come after -start");
  if (C.GainDb && C.Loudness)
    throw EConvertError("-gain and -loudness cannot be given together");
  if (!HasKind)
    throw EConvertError("No output format given (-wave, -aiff, -flac or -pcstream)");
  if (HasCodec && C.Kind != TOutputKind::EAStream)
    throw EConvertError("Stream codec options need -pcstream");
  if (!TagsGiven.empty() && C.Kind == TOutputKind::EAStream)
    throw EConvertError("-title, -artist and -album need -wave, -aiff or -flac");
  if (!HasInput || C.Input.empty())
    throw EConvertError("No input file given");
  if (!HasOutput || C.Output.empty())
    throw EConvertError("No output file given (-=\"file\")");
  return C;
}

const char* UsageText() {
  return "Usage: sx <format> [-gain=<dB> | -loudness=<LUFS>] [-start=<s>] [-end=<s>] [-fade-out=<s>]\n"
         "          [-title=<text>] [-artist=<text>] [-album=<text>] [-with-tags]\n"
         "          \"<input>\" -=\"<output>\"\n"
         "       sx -measure [-points=<N>] \"<input>\"...\n"
         "       sx -tags \"<input>\"...\n"
         "Formats:\n"
         "  -wave                 Wave, 16-bit PCM\n"
         "  -aiff                 AIFF, 16-bit PCM\n"
         "  -flac                 FLAC, 16-bit, lossless\n"
         "  -pcstream -eaxa_blk   EA SPORTS PC stream, EA-XA 3.7:1 (also -pcstream alone)\n"
         "  -pcstream -s16l_blk   EA SPORTS PC stream, signed 16-bit little-endian\n"
         "  -pcstream -s8_blk     EA SPORTS PC stream, signed 8-bit\n"
         "  -pcstream -mt_blk     EA SPORTS PC stream, MicroTalk 10:1\n"
         "  -pcstream -mt5_blk    EA SPORTS PC stream, MicroTalk 5:1\n"
         "Options:\n"
         "  -gain=<dB>            change the level by -60 to +60 dB before encoding, held back\n"
         "                        so that the true peak stays at or below -1 dBTP; prints one\n"
         "                        JSON line: output, gainRequested, gainApplied, heldBack and\n"
         "                        truePeak (the input's, dBTP)\n"
         "  -loudness=<LUFS>      measure the input as -measure does and take the gain that\n"
         "                        brings its integrated loudness to -70 to +10 LUFS, rounded\n"
         "                        to 0.01 dB, held back as -gain is (silence keeps its level);\n"
         "                        prints the line of -gain with integrated (LUFS) added\n"
         "  -start=<s>            keep the sound from this time on (seconds, decimals allowed;\n"
         "                        a cut inside the sound rises over 5 ms)\n"
         "  -end=<s>              keep the sound up to this time (after -start; a cut inside\n"
         "                        the sound falls over 5 ms)\n"
         "  -fade-out=<s>         fade the kept sound out over its last seconds, smoothly, to\n"
         "                        silence; trim and fade come before the gain\n"
         "  -title=<text>         tag a -wave, -aiff or -flac output (UTF-8, no control\n"
         "  -artist=<text>        characters): FLAC Vorbis comments; Wave LIST/INFO in\n"
         "  -album=<text>         Windows-1252 and an id3 chunk; AIFF NAME and AUTH in\n"
         "                        Windows-1252 and an ID3 chunk\n"
         "  -with-tags            print the input's line of -tags first (its error line when\n"
         "                        its tags cannot be read; the conversion goes on)\n"
         "Reports, one JSON line per input (input and error for one that cannot be read, and\n"
         "exit code 2 at the end):\n"
         "  -measure              input, integrated (LUFS), truePeak (dBTP), samplePeak (dBFS),\n"
         "                        sampleRate, channels, seconds; integrated is null for silence\n"
         "                        and under 0.4 s, the peaks for digital silence; then frames\n"
         "                        (per channel) and codec (EA-XA, MicroTalk 10:1, MicroTalk 5:1,\n"
         "                        s16l, s16b, s8; PCM, FLAC, MP3)\n"
         "  -points=<N>           with -measure: envelope, per channel N pairs of the smallest\n"
         "                        and largest 16-bit sample of each of N equal slices\n"
         "  -tags                 input, title, artist, album in UTF-8 from ID3v2, FLAC Vorbis\n"
         "                        comments, Wave INFO, AIFF NAME/AUTH or ID3v1, else from a\n"
         "                        file name \"Artist - Title\"; null when not known\n"
         "Inputs (found by content): EA SPORTS PC stream (.asf), Wave, AIFF/AIFF-C, FLAC, MP3.\n";
}

} // namespace sx
