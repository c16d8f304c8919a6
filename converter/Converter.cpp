#include "converter/Converter.h"

#include "base/Streams.h"
#include "converter/formats/AiffReader.h"
#include "converter/formats/AiffWriter.h"
#include "converter/formats/EAStreamReader.h"
#include "converter/formats/EAStreamWriter.h"
#include "converter/formats/Mp3Reader.h"
#include "converter/formats/WaveReader.h"
#include "converter/formats/WaveWriter.h"
#include "platform/FileSystem.h"

namespace sx {
namespace {

Bytes LoadFile(const std::string& Path) {
  TFileStream File(Path, TFileAccess::Read);
  Bytes Data(static_cast<size_t>(File.Size()));
  File.ReadBuffer(Data.data(), Data.size());
  return Data;
}

void SaveFile(const std::string& Path, const Bytes& Data) {
  TFileStream File(Path, TFileAccess::Create);
  File.WriteBuffer(Data.data(), Data.size());
}

// A message on one line: line breaks of system texts become blanks.
std::string OneLine(std::string Text) {
  for (char& Ch : Text)
    if (Ch == '\r' || Ch == '\n')
      Ch = ' ';
  return Text;
}

} // namespace

TInputKind DetectInput(const Bytes& Data) {
  if (IsEAStream(Data))
    return TInputKind::EAStream;
  if (IsWave(Data))
    return TInputKind::Wave;
  if (IsAiff(Data))
    return TInputKind::Aiff;
  if (IsMp3(Data))
    return TInputKind::Mp3;
  return TInputKind::Unknown;
}

TAudio ReadAudio(const Bytes& Data) {
  if (Data.empty())
    throw EConvertError("The input file is empty");
  switch (DetectInput(Data)) {
  case TInputKind::EAStream:
    return ReadEAStream(Data);
  case TInputKind::Wave:
    return ReadWave(Data);
  case TInputKind::Aiff:
    return ReadAiff(Data);
  case TInputKind::Mp3:
    return ReadMp3(Data);
  default:
    throw EConvertError("The input is not a known sound format");
  }
}

Bytes WriteAudio(const TAudio& Audio, const TCommand& Command) {
  switch (Command.Kind) {
  case TOutputKind::Wave:
    return WriteWave(Audio);
  case TOutputKind::Aiff:
    return WriteAiff(Audio);
  default:
    return WriteEAStream(Audio, Command.Codec);
  }
}

void Convert(const TCommand& Command) {
  const Bytes Output = WriteAudio(ReadAudio(LoadFile(Command.Input)), Command);
  const std::string Scratch = Command.Output + ".sx~";
  try {
    SaveFile(Scratch, Output);
    CheckOSError(platform::ReplaceFile(Scratch, Command.Output));
  } catch (...) {
    platform::DeleteFile(Scratch);
    throw;
  }
}

int RunConverter(const std::vector<std::string>& Arguments, std::string& Out, std::string& Err) {
  if (Arguments.empty()) {
    Out = UsageText();
    return 1;
  }
  try {
    Convert(ParseCommand(Arguments));
    return 0;
  } catch (const std::exception& E) {
    Err = "sx: " + OneLine(E.what()) + "\n";
    return 2;
  }
}

} // namespace sx
