// export, export-all and import: a sample's song through the converter, to a file and back.

#include "base/Exceptions.h"
#include "base/Paths.h"
#include "base/Streams.h"
#include "base/Text.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "tools/orvik-streams/Commands.h"
#include "tools/orvik-streams/Utf8.h"
#include "workflows/Converter.h"
#include "workflows/KeptOriginals.h"
#include "workflows/Messages.h"
#include "workflows/SongFiles.h"
#include "workflows/SoundtrackPack.h"

#include <algorithm>
#include <set>
#include <vector>

namespace {

const TConverterFormat& FormatNamed(const std::string& Name) {
  if (const TConverterFormat* Format = FindConverterFormat(Name))
    return *Format;
  throw EUsage("unknown format \"" + Name + "\" (wave, aiff, eaxa, s16l, s8, mt or mt5)");
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

// Converts the entry's bytes into Output in Format; raises the window's message when no output came.
void ExportFile(TConverter& Converter, TEAStreamFile& File, const TConverterFormat& Format,
                const std::string& Output) {
  TConversion Conversion = ExportSong(Converter, File, Format, platform::FileNameToWide(Output));
  if (!Conversion.Made)
    ConversionFailed(msg::UnableToConvertSample, Conversion.Reason);
}

TStreamData& SampleOf(TStreamPack& Pack, const TArguments& Args) {
  return *Pack.Streams(Args.Index("stream"))->Samples(Args.Index("sample"));
}

// An entry name as a file name: no folders, nothing a file system refuses.
std::string SafeFileName(const std::string& Entry) {
  std::string Name = ExtractFileName(Entry);
  for (char& Char : Name)
    if (static_cast<unsigned char>(Char) < 32 || std::string("\\/:*?\"<>|").find(Char) != std::string::npos)
      Char = '_';
  if (Name.empty() || Name == "." || Name == "..")
    Name = "_" + Name;
  return Name;
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
  ExportFile(Converter, *File, OutputFormat(Args, Output), Output);
  C.Out << "Exported " << Utf8FromNarrow(File->Name) << " to " << Utf8FromNarrow(Output) << "\n";
  return 0;
}

int ExportAll(const TArguments& Args, TContext& C) {
  auto Pack = LoadForReading(Args.Positional(0), C);
  std::string Folder = Args.Positional(1);
  const TConverterFormat& Format = FormatNamed(Args.Has("format") ? Args.Value("format") : "wave");
  std::vector<TEAStreamFile*> Files;
  for (int32_t S = 0; S < Pack->StreamCount(); ++S)
    for (int32_t I = 0; I < Pack->Streams(S)->SampleCount(); ++I) {
      TEAStreamFile* File = EntryOfSample(*Pack->Streams(S)->Samples(I));
      if (File != nullptr && std::find(Files.begin(), Files.end(), File) == Files.end())
        Files.push_back(File);
    }
  TSystemConverterProcess Runner(C.ProgramFolder);
  TConverter Converter(Runner);
  std::set<std::string> Used;
  for (size_t I = 0; I < Files.size(); ++I) {
    std::string Stem = ChangeFileExt(SafeFileName(Files[I]->Name), ""), Name = Stem + Format.Extension;
    for (int N = 2; Used.count(Name) != 0; ++N)
      Name = Stem + " (" + std::to_string(N) + ")" + Format.Extension;
    Used.insert(Name);
    C.Out << "[" << I + 1 << "/" << Files.size() << "] " << Utf8FromNarrow(Name) << "\n" << std::flush;
    ExportFile(Converter, *Files[I], Format, JoinPath(Folder, Name));
  }
  return 0;
}

int Import(const TArguments& Args, TContext& C) {
  const std::string& Definition = Args.Positional(0);
  const std::string& Input = Args.Positional(1);
  bool Add = Args.Has("add");
  std::string Entry;
  ChangeDefinition(Definition, C, [&](TStreamPack& Pack, TDefinitionSession& Session) {
    TStreamData& Sample = SampleOf(Pack, Args);
    TSystemConverterProcess Runner(C.ProgramFolder);
    TConverter Converter(Runner);
    TSongImport Import = ImportSong(Converter, Session.Imports, Sample, Add, platform::FileNameToWide(Input));
    if (!Import.Conversion.Made)
      ConversionFailed(msg::UnableToConvertInput, Import.Conversion.Reason);
    Save(Pack, Session, !Add);
    Entry = Import.EntryName;
  });
  C.Out << "Imported " << Utf8FromNarrow(Input) << " as " << Utf8FromNarrow(Entry) << "\n";
  return 0;
}
