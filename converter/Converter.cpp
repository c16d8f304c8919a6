#include "converter/Converter.h"

#include "converter/Json.h"
#include "converter/LargeBuffers.h"
#include "converter/Reports.h"
#include "converter/analysis/Loudness.h"
#include "converter/analysis/TruePeak.h"
#include "converter/formats/AiffReader.h"
#include "converter/formats/AiffWriter.h"
#include "converter/formats/EAStreamReader.h"
#include "converter/formats/EAStreamWriter.h"
#include "converter/formats/FlacReader.h"
#include "converter/formats/FlacWriter.h"
#include "converter/formats/Mp3Reader.h"
#include "converter/formats/WaveReader.h"
#include "converter/formats/WaveWriter.h"
#include "platform/File.h"
#include "platform/FileSystem.h"

namespace sx {

Bytes LoadFile(const std::string& Path) {
  platform::File File;
  int64_t Size = 0;
  int Error = File.Open(Path, platform::FileAccess::Read);
  if (Error == 0)
    Error = File.GetSize(Size);
  Bytes Data;
  ReserveLarge(Data, Error == 0 ? static_cast<size_t>(Size) : 0);
  Data.resize(Error == 0 ? static_cast<size_t>(Size) : 0);
  size_t Done = 0;
  if (Error == 0)
    Error = File.Read(Data.data(), Data.size(), Done);
  if (Error == 0 && Done != Data.size())
    throw EReadError();
  if (Error != 0)
    throw EFOpenError(Path, Error);
  return Data;
}

namespace {

// Writes Data to a scratch file beside Output and moves it into Output's place. Every failure of the OS
// names Output, the path the user gave.
void SaveFile(const std::string& Output, const Bytes& Data) {
  const std::string Scratch = Output + ".sx~";
  platform::File File;
  int Error = File.Open(Scratch, platform::FileAccess::Create);
  if (Error != 0)
    throw EFCreateError(Output, Error);
  size_t Done = 0;
  Error = File.Write(Data.data(), Data.size(), Done);
  File.Close();
  if (Error == 0 && Done != Data.size())
    Error = platform::DiskFullError();
  if (Error == 0)
    Error = platform::ReplaceFile(Scratch, Output);
  if (Error != 0) {
    platform::DeleteFile(Scratch);
    throw EFCreateError(Output, Error);
  }
}

// A message on one line: line breaks of system texts become blanks.
std::string OneLine(std::string Text) {
  for (char& Ch : Text)
    if (Ch == '\r' || Ch == '\n')
      Ch = ' ';
  return Text;
}

// The line of a conversion with a gain or a loudness; Measured: the command gave a loudness.
std::string GainReport(const std::string& Output, const TConversion& Result, bool Measured) {
  const TGainResult& Gain = *Result.Gain;
  return "{\"output\":" + JsonString(Output) +
         (Measured ? ",\"integrated\":" + JsonNumber(Result.Integrated) : std::string()) +
         ",\"gainRequested\":" + JsonNumber(Gain.Requested) + ",\"gainApplied\":" + JsonNumber(Gain.Applied) +
         ",\"heldBack\":" + (Gain.HeldBack ? "true" : "false") +
         (Gain.PeakUnderCeiling ? std::string() : ",\"truePeak\":" + JsonNumber(Gain.TruePeak)) + "}";
}

// One report line per input, in order; an input that fails gives its error line and the others go on.
int RunReports(const TCommand& Command, std::string& Out) {
  int Code = 0;
  for (const std::string& Input : Command.Reports) {
    try {
      Out += (Command.Action == TAction::Measure ? MeasureReport(Input, Command.Points) : TagsReport(Input)) +
             "\n";
    } catch (const std::exception& E) {
      Out += ErrorReport(Input, OneLine(E.what())) + "\n";
      Code = 2;
    }
  }
  return Code;
}

} // namespace

TInputKind DetectInput(const Bytes& Data) {
  if (IsEAStream(Data))
    return TInputKind::EAStream;
  if (IsWave(Data))
    return TInputKind::Wave;
  if (IsAiff(Data))
    return TInputKind::Aiff;
  if (IsFlac(Data)) // before MP3: an ID3v2 tag may stand in front of either
    return TInputKind::Flac;
  if (IsMp3(Data))
    return TInputKind::Mp3;
  return TInputKind::Unknown;
}

TAudio ReadAudio(const Bytes& Data, std::string* Codec) {
  if (Data.empty())
    throw EConvertError("The input file is empty");
  std::string Unused;
  std::string& Name = Codec ? *Codec : Unused;
  switch (DetectInput(Data)) {
  case TInputKind::EAStream: {
    TEAStreamInfo Info;
    TAudio Audio = ReadEAStream(Data, &Info);
    Name = EACodecName(Info.Layout.Codec);
    return Audio;
  }
  case TInputKind::Wave:
    Name = "PCM";
    return ReadWave(Data);
  case TInputKind::Aiff:
    Name = "PCM";
    return ReadAiff(Data);
  case TInputKind::Flac:
    Name = "FLAC";
    return ReadFlac(Data);
  case TInputKind::Mp3:
    Name = "MP3";
    return ReadMp3(Data);
  default:
    throw EConvertError("The input is not a known sound format");
  }
}

Bytes WriteAudio(const TAudio& Audio, const TCommand& Command) {
  switch (Command.Kind) {
  case TOutputKind::Wave:
    return WriteWave(Audio, Command.Tags);
  case TOutputKind::Aiff:
    return WriteAiff(Audio, Command.Tags);
  case TOutputKind::Flac:
    return WriteFlac(Audio, Command.Tags);
  default:
    return WriteEAStream(Audio, Command.Codec);
  }
}

TConversion Convert(const TCommand& Command) {
  TConversion Result;
  TAudio Audio;
  { // the file's bytes go once the sound is decoded
    const Bytes Data = LoadFile(Command.Input);
    if (Command.WithTags)
      try {
        Result.TagsLine = TagsReport(Command.Input, Data);
      } catch (const std::exception& E) {
        Result.TagsLine = ErrorReport(Command.Input, OneLine(E.what()));
      }
    Audio = ReadAudio(Data);
  }
  ShapeAudio(Audio, Command.Shape); // the loudness and the peak limit are those of the sound kept
  if (Command.GainDb) {
    Result.Gain = LimitGain(*Command.GainDb, Audio);
  } else if (Command.Loudness) {
    Result.Integrated = IntegratedLoudness(Audio);
    if (Result.Integrated) {
      Result.Gain = LimitGain(GainTowards(*Command.Loudness, *Result.Integrated), Audio);
    } else { // silence, or a sound too short to measure: it keeps its level
      Result.Gain = TGainResult{};
      Result.Gain->TruePeak = Decibels(TruePeak(Audio));
    }
  }
  if (Result.Gain && Result.Gain->Applied != 0)
    ApplyGain(Audio, *Result.Gain);
  SaveFile(Command.Output, WriteAudio(Audio, Command));
  Result.Warnings = Audio.Warnings;
  return Result;
}

int RunConverter(const std::vector<std::string>& Arguments, std::string& Out, std::string& Err) {
  if (Arguments.empty()) {
    Out = UsageText();
    return 1;
  }
  try {
    const TCommand Command = ParseCommand(Arguments);
    if (Command.Action != TAction::Convert)
      return RunReports(Command, Out);
    const TConversion Result = Convert(Command);
    for (const std::string& Warning : Result.Warnings)
      Err += "sx: warning: " + OneLine(Warning) + "\n";
    if (Command.WithTags)
      Out += Result.TagsLine + "\n";
    if (Result.Gain)
      Out += GainReport(Command.Output, Result, Command.Loudness.has_value()) + "\n";
    return 0;
  } catch (const std::exception& E) {
    Err = "sx: " + OneLine(E.what()) + "\n";
    return 2;
  }
}

} // namespace sx
