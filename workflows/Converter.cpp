#include "workflows/Converter.h"

#include "base/Exceptions.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/Text.h"

#include <algorithm>
#include <cstdio>

namespace {

std::wstring Quoted(const std::wstring& Path) {
  return L"\"" + platform::FullPath(Path) + L"\"";
}

std::wstring QuotedList(const std::vector<std::string>& Paths) {
  std::wstring List;
  for (const std::string& Path : Paths)
    List += L" " + Quoted(platform::FileNameToWide(Path));
  return List;
}

// "-title=\"...\" " for a text in the code page, or nothing for an empty one. The converter reads tags in
// UTF-8 from its command line, which has no escape for a double quote: that becomes a single one.
std::wstring TagOption(const char* Name, std::string Text) {
  if (Text.empty())
    return L"";
  for (char& C : Text)
    if (C == '"')
      C = '\'';
  return AnsiToWide(std::string(Name) + "=\"") + platform::Utf8Argument(AnsiToWide(Text)) + L"\" ";
}

// "-gain=6.00 ", "-loudness=-14.20 ".
std::string LevelOption(const char* Name, double Value) {
  char Text[48];
  std::snprintf(Text, sizeof Text, "%s=%.2f ", Name, Value);
  return Text;
}

// "-start=1.500000 -end=… -fade-out=… " for the times Shape gives; microseconds pick any frame.
std::string ShapeOptions(const TSongShape& Shape) {
  std::string Options;
  for (const auto& [Name, Time] :
       {std::pair{"-start", Shape.Start}, {"-end", Shape.End}, {"-fade-out", Shape.FadeOut}})
    if (Time) {
      char Text[48];
      std::snprintf(Text, sizeof Text, "%s=%.6f ", Name, *Time);
      Options += Text;
    }
  return Options;
}

const char* const kUnreadableReport = "The converter's report could not be read";

// The lines of a report run, matched to the inputs by position.
template <class TReport, class TParse>
std::vector<TReport> ReportsOf(const TConverterRun& Run, const std::vector<std::string>& Inputs,
                               TParse Parse) {
  std::vector<std::string> Lines = ReportLines(Run.Output);
  std::vector<TReport> Reports(Inputs.size());
  for (size_t I = 0; I < Inputs.size(); ++I) {
    std::optional<TReport> Read = I < Lines.size() ? Parse(Lines[I]) : std::nullopt;
    if (Read)
      Reports[I] = *Read;
    else
      Reports[I].Error =
          Lines.size() <= I && !Run.Errors.empty() ? OneLineReason(Run.Errors) : kUnreadableReport;
    Reports[I].Input = Inputs[I];
  }
  return Reports;
}

} // namespace

TSystemConverterProcess::TSystemConverterProcess(const std::string& ProgramFolder)
    : FFolder(ProgramFolder + "sx"),
      FProgram(JoinPath(FFolder, std::string("sx") + platform::ExecutableSuffix())) {}

TConverterRun TSystemConverterProcess::Run(const std::wstring& Parameters) {
  if (!platform::IsFile(FProgram))
    throw Exception("The converter is missing: " + FProgram);
  platform::TCapturedRun Captured;
  TConverterRun Run;
  Run.Started = platform::ExecuteCapturing(platform::FileNameToWide(FProgram), Parameters,
                                           platform::FileNameToWide(FFolder), Captured);
  Run.ExitCode = Captured.ExitCode;
  Run.Output = std::move(Captured.Output);
  Run.Errors = std::move(Captured.Errors);
  return Run;
}

const std::vector<TConverterFormat>& ConverterFormats() {
  static const std::vector<TConverterFormat> Formats = {
      {"wave", "-wave ", ".wav", true},         {"aiff", "-aiff ", ".aif", true},
      {"eaxa", "-pcstream -eaxa_blk ", ".asf"}, {"s16l", "-pcstream -s16l_blk ", ".asf"},
      {"s8", "-pcstream -s8_blk ", ".asf"},     {"mt", "-pcstream -mt_blk ", ".asf"},
      {"mt5", "-pcstream -mt5_blk ", ".asf"},   {"flac", "-flac ", ".flac", true},
  };
  return Formats;
}

const TConverterFormat* FindConverterFormat(const std::string& Name) {
  for (const TConverterFormat& Format : ConverterFormats())
    if (Name == Format.Name)
      return &Format;
  return nullptr;
}

const TConverterFormat& SongFormat() {
  return *FindConverterFormat("eaxa");
}

const TConverterFormat* EAFormatOfCodec(const std::string& Codec) {
  static const std::pair<const char*, const char*> Codecs[] = {
      {"EA-XA", "eaxa"}, {"MicroTalk 10:1", "mt"}, {"MicroTalk 5:1", "mt5"}, {"s16l", "s16l"}, {"s8", "s8"}};
  for (const auto& [Name, Format] : Codecs)
    if (Codec == Name)
      return FindConverterFormat(Format);
  return nullptr;
}

TConverterRun TConverter::RunStarted(const std::wstring& Parameters) {
  TConverterRun Run = FRunner.Run(Parameters);
  if (!Run.Started)
    throw Exception("The converter could not be started");
  return Run;
}

TConversion TConverter::Convert(const TConverterFormat& Format, const std::wstring& Input,
                                const std::wstring& Output, std::optional<double> GainDb,
                                const TSongShape& Shape) {
  return RunConversion(Format, Input, Output, GainDb ? LevelOption("-gain", *GainDb) : "", false, Shape);
}

TConversion TConverter::Convert(const TConverterFormat& Format, const std::string& Input,
                                const std::string& Output, std::optional<double> GainDb,
                                const TSongShape& Shape, TTagsReport* InputTags) {
  return RunConversion(Format, platform::FileNameToWide(Input), platform::FileNameToWide(Output),
                       GainDb ? LevelOption("-gain", *GainDb) : "", false, Shape, L"", InputTags);
}

TConversion TConverter::ConvertTagged(const TConverterFormat& Format, const std::wstring& Input,
                                      const std::wstring& Output, const TSongTags& Tags) {
  std::wstring Options;
  if (Format.Tagged)
    Options =
        TagOption("-title", Tags.Title) + TagOption("-artist", Tags.Artist) + TagOption("-album", Tags.Album);
  return RunConversion(Format, Input, Output, "", false, {}, Options);
}

TConversion TConverter::ConvertToLoudness(const TConverterFormat& Format, const std::string& Input,
                                          const std::string& Output, double TargetLufs,
                                          const TSongShape& Shape, TTagsReport* InputTags) {
  return RunConversion(
      Format, platform::FileNameToWide(Input), platform::FileNameToWide(Output),
      LevelOption("-loudness", std::clamp(TargetLufs, kLowestTargetLufs, kHighestTargetLufs)), true, Shape,
      L"", InputTags);
}

TConversion TConverter::RunConversion(const TConverterFormat& Format, const std::wstring& Input,
                                      const std::wstring& Output, const std::string& Level, bool Measured,
                                      const TSongShape& Shape, const std::wstring& Tags,
                                      TTagsReport* InputTags) {
  TConverterRun Run =
      RunStarted(AnsiToWide(Format.Option + Level + ShapeOptions(Shape)) + Tags +
                 (InputTags ? L"-with-tags " : L"") + Quoted(Input) + L" -=" + Quoted(Output));
  TConversion Result;
  Result.Made = platform::IsFile(Output);
  std::vector<std::string> Lines = ReportLines(Run.Output);
  if (InputTags) { // the first line
    std::optional<TTagsReport> Read = Lines.empty() ? std::nullopt : ParseTagsLine(Lines.front());
    *InputTags = Read.value_or(TTagsReport{});
    if (Read)
      Lines.erase(Lines.begin());
    else
      InputTags->Error = kUnreadableReport;
  }
  if (Result.Made && !Level.empty()) {
    Result.Gain = Lines.empty() ? std::nullopt : ParseGainLine(Lines.back());
    if (!Result.Gain || Result.Gain->Measured != Measured) {
      Result.Gain.reset();
      Result.Made = false;
      Result.Reason = kUnreadableReport;
    }
  } else if (!Result.Made) {
    Result.Reason = OneLineReason(Run.Errors);
    if (Result.Reason.empty())
      Result.Reason = "The converter made no output" +
                      (Run.ExitCode ? " (exit code " + std::to_string(*Run.ExitCode) + ")" : std::string());
    if (InputTags && !InputTags->Error.empty())
      InputTags->Error = Result.Reason;
  }
  return Result;
}

std::vector<TMeasureReport> TConverter::Measure(const std::vector<std::string>& Inputs, size_t Points) {
  const std::wstring Option = Points == 0 ? L"" : L" -points=" + std::to_wstring(Points);
  auto Parse = [Points](const std::string& Line) {
    std::optional<TMeasureReport> R = ParseMeasureLine(Line);
    if (R && R->Error.empty() && Points != 0 && (R->Envelope.empty() || R->Envelope[0].size() != Points))
      R.reset();
    return R;
  };
  return ReportsOf<TMeasureReport>(RunStarted(L"-measure" + Option + QuotedList(Inputs)), Inputs, Parse);
}

std::vector<TTagsReport> TConverter::Tags(const std::vector<std::string>& Inputs) {
  return ReportsOf<TTagsReport>(RunStarted(L"-tags" + QuotedList(Inputs)), Inputs, ParseTagsLine);
}

std::string OneLineReason(const std::string& Errors) {
  std::string Reason;
  for (const std::string& Line : ReportLines(Errors)) {
    size_t First = Line.find_first_not_of(" \t"), Last = Line.find_last_not_of(" \t");
    if (First != std::string::npos)
      Reason += (Reason.empty() ? "" : "; ") + Line.substr(First, Last - First + 1);
  }
  return Reason;
}
