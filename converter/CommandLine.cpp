#include "converter/CommandLine.h"

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

} // namespace

TCommand ParseCommand(const std::vector<std::string>& Arguments) {
  TCommand C;
  bool HasKind = false, HasCodec = false, HasInput = false, HasOutput = false;
  for (const std::string& A : Arguments) {
    if (A.rfind("-=", 0) == 0) {
      if (HasOutput)
        throw EConvertError("More than one output file given");
      C.Output = A.substr(2);
      HasOutput = true;
    } else if (A == "-wave") {
      SetKind(C, HasKind, TOutputKind::Wave);
    } else if (A == "-aiff") {
      SetKind(C, HasKind, TOutputKind::Aiff);
    } else if (A == "-pcstream") {
      SetKind(C, HasKind, TOutputKind::EAStream);
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
  if (!HasKind)
    throw EConvertError("No output format given (-wave, -aiff or -pcstream)");
  if (HasCodec && C.Kind != TOutputKind::EAStream)
    throw EConvertError("Stream codec options need -pcstream");
  if (!HasInput || C.Input.empty())
    throw EConvertError("No input file given");
  if (!HasOutput || C.Output.empty())
    throw EConvertError("No output file given (-=\"file\")");
  return C;
}

const char* UsageText() {
  return "Usage: sx <format> \"<input>\" -=\"<output>\"\n"
         "Formats:\n"
         "  -wave                 Wave, 16-bit PCM\n"
         "  -aiff                 AIFF, 16-bit PCM\n"
         "  -pcstream -eaxa_blk   EA SPORTS PC stream, EA-XA 3.7:1 (also -pcstream alone)\n"
         "  -pcstream -s16l_blk   EA SPORTS PC stream, signed 16-bit little-endian\n"
         "  -pcstream -s8_blk     EA SPORTS PC stream, signed 8-bit\n"
         "  -pcstream -mt_blk     EA SPORTS PC stream, MicroTalk 10:1\n"
         "  -pcstream -mt5_blk    EA SPORTS PC stream, MicroTalk 5:1\n"
         "Inputs (found by content): EA SPORTS PC stream (.asf), Wave, AIFF/AIFF-C, MP3.\n";
}

} // namespace sx
