// export, export-all and import: a sample's song through the converter, to a file and back.

#include "base/Exceptions.h"
#include "base/Paths.h"
#include "base/Streams.h"
#include "base/Text.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "tools/orvik-streams/Commands.h"
#include "tools/orvik-streams/Json.h"
#include "tools/orvik-streams/Utf8.h"
#include "workflows/Converter.h"
#include "workflows/KeptOriginals.h"
#include "workflows/Messages.h"
#include "workflows/SongFiles.h"
#include "workflows/SoundtrackExport.h"
#include "workflows/SoundtrackPack.h"

#include <algorithm>
#include <set>
#include <vector>

namespace {

const TConverterFormat& FormatNamed(const std::string& Name) {
  if (const TConverterFormat* Format = FindConverterFormat(Name))
    return *Format;
  throw EUsage("unknown format \"" + Name + "\" (wave, aiff, flac, eaxa, s16l, s8, mt or mt5)");
}

// The format the option names, or else the one the output's extension suggests (Wave by default).
const TConverterFormat& OutputFormat(const TArguments& Args, const std::string& Output) {
  if (Args.Has("format"))
    return FormatNamed(Args.Value("format"));
  std::string Extension = ExtractFileExt(Output);
  std::transform(Extension.begin(), Extension.end(), Extension.begin(),
                 [](unsigned char C) { return std::tolower(C); });
  return FormatNamed(Extension == ".asf"                           ? "eaxa"
                     : Extension == ".aif" || Extension == ".aiff" ? "aiff"
                     : Extension == ".flac"                        ? "flac"
                                                                   : "wave");
}

// Raises Message, and under it the converter's own words when it gave any, as the window shows them.
[[noreturn]] void ConversionFailed(const wchar_t* Message, const std::string& Reason) {
  std::string Text = WideToAnsi(Message);
  // Appended rather than concatenated: GCC 12 at -O3 takes "\n" + std::string for an overlapping copy.
  if (!Reason.empty())
    Text.append(1, '\n').append(Reason);
  throw Exception(Text);
}

TStreamData& SampleOf(TStreamPack& Pack, const TArguments& Args) {
  return *Pack.Streams(Args.Index("stream"))->Samples(Args.Index("sample"));
}

void SoundtrackJson(std::ostream& Out, const TSoundtrackPlan& Plan, const TSoundtrackResult& Result,
                    const std::string& Folder) {
  TJson J(Out);
  J.BeginObject().Key("folder").String(Utf8FromNarrow(Folder)).Key("songs").BeginArray();
  for (size_t I = 0; I < Plan.Songs.size(); ++I) {
    const TSoundtrackSongResult& Song = Result.Songs[I];
    J.BeginObject()
        .Key("file")
        .String(Utf8FromNarrow(Plan.Songs[I].Name))
        .Key("entry")
        .String(Utf8FromNarrow(Plan.Songs[I].File->Name))
        .Key("title")
        .String(Utf8FromCodePage(Plan.Songs[I].Tags.Title))
        .Key("artist")
        .String(Utf8FromCodePage(Plan.Songs[I].Tags.Artist))
        .Key("result")
        .String(Song.State == TSoundtrackSongResult::Written  ? "written"
                : Song.State == TSoundtrackSongResult::Failed ? "failed"
                                                              : "cancelled");
    if (Song.State == TSoundtrackSongResult::Failed)
      J.Key("reason").String(Song.Failure);
    J.EndObject();
  }
  J.EndArray().Key("playlists").BeginArray();
  for (const TSoundtrackPlaylist& List : Plan.Playlists)
    J.String(Utf8FromNarrow(List.Name));
  J.EndArray().EndObject();
  Out << "\n";
}

} // namespace

int Export(const TArguments& Args, TContext& C) {
  auto Pack = LoadForReading(Args.Positional(0), C);
  TStreamData& Sample = SampleOf(*Pack, Args);
  TEAStreamFile* File = EntryOfSample(Sample);
  if (File == nullptr)
    throw Exception("The sample is bound to no file of its archive");
  const std::string& Output = Args.Positional(1);
  TSystemConverterProcess Runner(C.ProgramFolder);
  TConverter Converter(Runner);
  TConversion Conversion = ExportSong(Converter, *File, OutputFormat(Args, Output),
                                      platform::FileNameToWide(Output), TagsOf(Sample));
  if (!Conversion.Made)
    ConversionFailed(msg::UnableToConvertSample, Conversion.Reason);
  C.Out << "Exported " << Utf8FromNarrow(File->Name) << " to " << Utf8FromNarrow(Output) << "\n";
  return 0;
}

int ExportAll(const TArguments& Args, TContext& C) {
  auto Pack = LoadForReading(Args.Positional(0), C);
  const std::string& Folder = Args.Positional(1);
  const TConverterFormat& Format = FormatNamed(Args.Has("format") ? Args.Value("format") : "wave");
  if (Args.Has("names") && Args.Value("names") != "entry")
    throw EUsage("--names takes \"entry\" only");
  std::optional<int32_t> Stream;
  if (Args.Has("stream"))
    Stream = Args.Index("stream");
  TSoundtrackPlan Plan =
      PlanSoundtrack(*Pack, Format, Args.Has("names") ? TSongNames::Entry : TSongNames::Description, Stream);
  if (!Args.Has("overwrite")) {
    std::vector<std::string> There = ExistingFiles(Plan, Folder);
    if (!There.empty())
      throw Exception(std::to_string(There.size()) + " of the files are in " + Utf8FromNarrow(Folder) +
                      " already, the first \"" + There[0] + "\" (--overwrite replaces them)");
  }
  const bool Json = Args.Has("json");
  std::ostream& Progress = Json ? C.Err : C.Out;
  TSystemConverterProcess Runner(C.ProgramFolder);
  TConverter Converter(Runner);
  TSoundtrackOptions Options;
  Options.SongDone = [&](const TSoundtrackSongResult& Song, size_t Index, size_t Count) {
    Progress << "[" << Index + 1 << "/" << Count << "] " << Utf8FromNarrow(Plan.Songs[Index].Name)
             << (Song.State == TSoundtrackSongResult::Written ? "" : ": failed: " + Song.Failure) << "\n"
             << std::flush;
  };
  TSoundtrackResult Result = ExportSoundtrack(Plan, Folder, Converter, Format, Options);
  if (Json) {
    SoundtrackJson(C.Out, Plan, Result, Folder);
  } else {
    C.Out << Result.WrittenCount() << " of " << Plan.Songs.size() << " songs written, "
          << Plan.Playlists.size() << (Plan.Playlists.size() == 1 ? " playlist" : " playlists") << ", in "
          << Utf8FromNarrow(Folder) << "\n";
  }
  return Result.WrittenCount() == Plan.Songs.size() ? 0 : 1;
}

TSongShape ShapeOf(const TArguments& Args) {
  TSongShape Shape;
  Shape.Start = Args.Seconds("start", kLongestShapeSeconds);
  Shape.End = Args.Seconds("end", kLongestShapeSeconds);
  Shape.FadeOut = Args.Seconds("fade-out", kLongestShapeSeconds);
  if (Shape.Start && Shape.End && *Shape.End <= *Shape.Start)
    throw EUsage("--end must come after --start");
  return Shape;
}

int Import(const TArguments& Args, TContext& C) {
  const std::string& Definition = Args.Positional(0);
  const std::string& Input = Args.Positional(1);
  bool Add = Args.Has("add");
  const TSongShape Shape = ShapeOf(Args);
  std::string Entry;
  ChangeDefinition(Definition, C, [&](TStreamPack& Pack, TDefinitionSession& Session) {
    TStreamData& Sample = SampleOf(Pack, Args);
    TSystemConverterProcess Runner(C.ProgramFolder);
    TConverter Converter(Runner);
    TSongImport Import =
        ImportSong(Converter, Session.Imports, Sample, Add, platform::FileNameToWide(Input), {}, {}, Shape);
    if (!Import.Conversion.Made)
      ConversionFailed(msg::UnableToConvertInput, Import.Conversion.Reason);
    Save(Pack, Session, !Add);
    Entry = Import.EntryName;
  });
  C.Out << "Imported " << Utf8FromNarrow(Input) << " as " << Utf8FromNarrow(Entry) << "\n";
  return 0;
}
