#include "tools/orvik-streams/Tool.h"

#include "app/Messages.h" // the window's texts, so that both say the same
#include "archive/uEAStream.h"
#include "base/Exceptions.h"
#include "base/FileSetCommit.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "definitions/DefinitionSession.h"
#include "definitions/Preload.h"
#include "definitions/uTypes.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "tools/orvik-streams/Arguments.h"
#include "tools/orvik-streams/Commands.h"
#include "tools/orvik-streams/Json.h"
#include "workflows/Converter.h"
#include "workflows/JournaledImport.h"
#include "workflows/KeptOriginals.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>

namespace {

// ---- formats and the converter ----

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
  std::transform(Extension.begin(), Extension.end(), Extension.begin(), [](unsigned char C) { return std::tolower(C); });
  return FormatNamed(Extension == ".asf" ? "eaxa" : Extension == ".aif" || Extension == ".aiff" ? "aiff" : "wave");
}

void DiscardIfPresent(const std::string& Path) {
  if (platform::IsFile(Path))
    platform::DeleteFile(Path);
}

// Converts the entry's bytes into Output in Format; raises the window's message when no output came.
void ExportFile(TEAStreamFile& File, const TConverterFormat& Format, const std::string& Output) {
  std::string Extracted = ChangeFileExt(MakeTempFileName("~asf"), ".asf");
  bool Made = false;
  try {
    File.SaveToFile(Extracted);
    TSystemConverterProcess Runner(platform::ProgramFolder());
    Made = TConverter(Runner).Convert(Format, Extracted, Output).Made;
  } catch (...) {
    DiscardIfPresent(Extracted);
    throw;
  }
  CheckOSError(platform::DeleteFile(Extracted));
  if (!Made)
    throw Exception(WideToAnsi(msg::UnableToConvertSample));
}

// ---- the definition ----

TStreamData& SampleOf(TStreamPack& Pack, const TArguments& Args) {
  return *Pack.Streams(Args.Index("stream"))->Samples(Args.Index("sample"));
}

std::string ArchiveName(const TStreamPack& Pack, int32_t Index) {
  if (Index >= 0 && Index < Pack.ArchiveCount())
    return ExtractFileName(Pack.Archives(Index)->FileName);
  // Appended rather than concatenated: GCC 12 at -O3 takes "#" + std::string for an overlapping copy.
  return std::string(1, '#').append(std::to_string(Index));
}

// The sample's file, or nullptr when its archive index or offset leads nowhere.
TEAStreamFile* FileOf(const TStreamData& Sample) {
  const TStreamPack& Pack = *Sample.MusicStream->Pack;
  return Sample.ArchiveIndex >= 0 && Sample.ArchiveIndex < Pack.ArchiveCount() ? Sample.StreamFile() : nullptr;
}

int64_t FileSize(const std::string& Path) {
  TFileStream File(Path, TFileAccess::Read);
  return File.Size();
}

void CheckText(const std::string& Text) {
  if (Text.size() > 63)
    throw EUsage("a description text has at most 63 characters: \"" + Text + "\"");
}

// ---- subcommands ----

int Info(const TArguments& Args, TContext& C) {
  auto Pack = LoadForReading(Args.Positional(0), C);
  if (Args.Has("json")) {
    TJson J(C.Out);
    J.BeginObject();
    J.Key("archives").BeginArray();
    for (int32_t I = 0; I < Pack->ArchiveCount(); ++I) {
      TEAStream& A = *Pack->Archives(I);
      J.BeginObject().Key("name").String(ExtractFileName(A.FileName)).Key("entries").Number(A.FileCount());
      J.Key("size").Number(FileSize(A.FileName)).EndObject();
    }
    J.EndArray().Key("descriptions").BeginArray();
    for (int32_t I = 0; I < Pack->DescriptionCount(); ++I) {
      TStreamDescription& D = *Pack->Descriptions(I);
      J.BeginObject().Key("name").String(FieldText(D.Name)).Key("singer").String(FieldText(D.Singer));
      J.Key("album").String(FieldText(D.Album)).EndObject();
    }
    J.EndArray().Key("streams").BeginArray();
    for (int32_t S = 0; S < Pack->StreamCount(); ++S) {
      J.BeginArray();
      for (int32_t I = 0; I < Pack->Streams(S)->SampleCount(); ++I) {
        TStreamData& Sample = *Pack->Streams(S)->Samples(I);
        TEAStreamFile* File = FileOf(Sample);
        J.BeginObject().Key("archive").Number(Sample.ArchiveIndex).Key("offset").Number(Sample.FileOffset);
        J.Key("entry");
        File ? J.String(File->Name) : J.Null();
        J.Key("size");
        File ? J.Number(File->Size) : J.Null();
        J.Key("description").Number(Sample.DescriptionIndex).EndObject();
      }
      J.EndArray();
    }
    J.EndArray().EndObject();
    C.Out << "\n";
    return 0;
  }
  C.Out << "Archives:\n";
  for (int32_t I = 0; I < Pack->ArchiveCount(); ++I) {
    TEAStream& A = *Pack->Archives(I);
    C.Out << "  " << I << "  " << ExtractFileName(A.FileName) << "  " << A.FileCount() << " entries, "
          << FileSize(A.FileName) << " bytes\n";
  }
  C.Out << "Descriptions:\n";
  for (int32_t I = 0; I < Pack->DescriptionCount(); ++I) {
    TStreamDescription& D = *Pack->Descriptions(I);
    C.Out << "  " << I << "  " << FieldText(D.Singer) << ": " << FieldText(D.Name) << " (" << FieldText(D.Album)
          << ")\n";
  }
  C.Out << "Streams:\n";
  for (int32_t S = 0; S < Pack->StreamCount(); ++S) {
    C.Out << "  Stream " << S << ": " << Pack->Streams(S)->SampleCount() << " samples\n";
    for (int32_t I = 0; I < Pack->Streams(S)->SampleCount(); ++I) {
      TStreamData& Sample = *Pack->Streams(S)->Samples(I);
      TEAStreamFile* File = FileOf(Sample);
      TStreamDescription* D = Sample.DescriptionIndex >= 0 && Sample.DescriptionIndex < Pack->DescriptionCount()
                                  ? Sample.Description()
                                  : nullptr;
      C.Out << "    " << I << "  " << ArchiveName(*Pack, Sample.ArchiveIndex) << "  "
            << (File ? File->Name + ", " + std::to_string(File->Size) + " bytes" : "(no entry at offset " + std::to_string(Sample.FileOffset) + ")")
            << "  " << (D ? FieldText(D->Name) : "[No Description]") << "\n";
    }
  }
  return 0;
}

int Verify(const TArguments& Args, TContext& C) {
  const std::string& Definition = Args.Positional(0);
  RecoverBeforeReading(Definition, C);
  std::vector<std::string> Problems;
  for (const std::string& Path : TStreamPack::ArchivePathsOf(Definition)) {
    try {
      TEAStream Archive;
      Archive.LoadFromFile(Path);
    } catch (const std::exception& Error) {
      Problems.push_back("archive " + Path + ": " + Error.what());
    }
  }
  std::unique_ptr<TStreamPack> Pack;
  if (Problems.empty()) {
    try {
      Pack = LoadPack(Definition); // also refuses archive names that leave the definition's folder
    } catch (const std::exception& Error) {
      Problems.push_back(Error.what());
    }
  }
  if (Pack) {
    for (int32_t A = 0; A < Pack->ArchiveCount(); ++A) {
      TEAStream& Archive = *Pack->Archives(A);
      int64_t Size = FileSize(Archive.FileName);
      std::vector<TEAStreamFile*> Files;
      for (int32_t I = 0; I < Archive.FileCount(); ++I) {
        TEAStreamFile* File = Archive.Files(I);
        Files.push_back(File);
        if (int64_t(File->Offset) + File->Size > Size)
          Problems.push_back("archive " + ExtractFileName(Archive.FileName) + ": entry " + File->Name +
                             " lies outside the file");
      }
      std::sort(Files.begin(), Files.end(), [](auto* X, auto* Y) { return X->Offset < Y->Offset; });
      // Entries of the same data share it; only ranges that partly cover each other are wrong.
      for (size_t I = 1; I < Files.size(); ++I) {
        TEAStreamFile *P = Files[I - 1], *F = Files[I];
        bool Same = P->Offset == F->Offset && P->Size == F->Size;
        if (!Same && int64_t(P->Offset) + P->Size > F->Offset)
          Problems.push_back("archive " + ExtractFileName(Archive.FileName) + ": entries " + P->Name + " and " +
                             F->Name + " overlap");
      }
    }
    for (int32_t S = 0; S < Pack->StreamCount(); ++S)
      for (int32_t I = 0; I < Pack->Streams(S)->SampleCount(); ++I) {
        TStreamData& Sample = *Pack->Streams(S)->Samples(I);
        std::string Which = "stream " + std::to_string(S) + " sample " + std::to_string(I) + ": ";
        if (Sample.ArchiveIndex < 0 || Sample.ArchiveIndex >= Pack->ArchiveCount())
          Problems.push_back(Which + "no archive " + std::to_string(Sample.ArchiveIndex));
        else if (Sample.StreamFile() == nullptr)
          Problems.push_back(Which + "no entry of " + ArchiveName(*Pack, Sample.ArchiveIndex) + " holds offset " +
                             std::to_string(Sample.FileOffset));
        if (Sample.DescriptionIndex < -1 || Sample.DescriptionIndex >= Pack->DescriptionCount())
          Problems.push_back(Which + "no description " + std::to_string(Sample.DescriptionIndex));
      }
  }
  for (const std::string& Problem : Problems)
    C.Out << Problem << "\n";
  C.Out << (Problems.empty() ? "OK: " : "FAILED: ") << Definition << ", " << Problems.size() << " problem(s)\n";
  return Problems.empty() ? 0 : 1;
}

int Export(const TArguments& Args, TContext& C) {
  auto Pack = LoadForReading(Args.Positional(0), C);
  TStreamData& Sample = SampleOf(*Pack, Args);
  TEAStreamFile* File = FileOf(Sample);
  if (File == nullptr)
    throw Exception("The sample is bound to no file of its archive");
  const std::string& Output = Args.Positional(1);
  ExportFile(*File, OutputFormat(Args, Output), Output);
  C.Out << "Exported " << File->Name << " to " << Output << "\n";
  return 0;
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

int ExportAll(const TArguments& Args, TContext& C) {
  auto Pack = LoadForReading(Args.Positional(0), C);
  std::string Folder = Args.Positional(1);
  const TConverterFormat& Format = FormatNamed(Args.Has("format") ? Args.Value("format") : "wave");
  std::vector<TEAStreamFile*> Files;
  for (int32_t S = 0; S < Pack->StreamCount(); ++S)
    for (int32_t I = 0; I < Pack->Streams(S)->SampleCount(); ++I) {
      TEAStreamFile* File = FileOf(*Pack->Streams(S)->Samples(I));
      if (File != nullptr && std::find(Files.begin(), Files.end(), File) == Files.end())
        Files.push_back(File);
    }
  std::set<std::string> Used;
  for (size_t I = 0; I < Files.size(); ++I) {
    std::string Stem = ChangeFileExt(SafeFileName(Files[I]->Name), ""), Name = Stem + Format.Extension;
    for (int N = 2; Used.count(Name) != 0; ++N)
      Name = Stem + " (" + std::to_string(N) + ")" + Format.Extension;
    Used.insert(Name);
    C.Out << "[" << I + 1 << "/" << Files.size() << "] " << Name << "\n" << std::flush;
    ExportFile(*Files[I], Format, JoinPath(Folder, Name));
  }
  return 0;
}

int Import(const TArguments& Args, TContext& C) {
  const std::string& Definition = Args.Positional(0);
  auto Session = OpenForChange(Definition, DefaultPreloadFolder(Definition), C);
  auto Pack = LoadPack(Definition);
  TStreamData& Sample = SampleOf(*Pack, Args);
  const std::string& Input = Args.Positional(1);
  bool Add = Args.Has("add");
  Pack->Archives(Sample.ArchiveIndex); // the list error before anything is converted
  std::string Converted = ChangeFileExt(MakeTempFileName("~asf"), ".asf");
  TImportJournal& Journal = Session->Imports;
  try {
    TSystemConverterProcess Runner(platform::ProgramFolder());
    if (!TConverter(Runner).Convert(SongFormat(), Input, Converted).Made)
      throw Exception(WideToAnsi(msg::UnableToConvertInput));
    ImportThroughJournal(Journal, Sample, Add, Add ? ChangeFileExt(ExtractFileName(Input), ".asf") : "", Input,
                         Converted);
    Save(*Pack, *Session, !Add);
  } catch (...) {
    DiscardIfPresent(Converted);
    Session->Close();
    throw;
  }
  Session->Close();
  CheckOSError(platform::DeleteFile(Converted));
  C.Out << "Imported " << Input << " as " << Sample.StreamFile()->Name << "\n";
  return 0;
}

void SetTexts(TStreamDescription& D, const TArguments& Args) {
  const std::pair<const char*, TDescriptionField*> Fields[] = {{"name", &D.Name}, {"singer", &D.Singer}, {"album", &D.Album}};
  for (const auto& [Option, Field] : Fields)
    if (Args.Has(Option)) {
      CheckText(Args.Value(Option));
      SetFieldText(*Field, Args.Value(Option));
    }
}

int Describe(const TArguments& Args, TContext& C) {
  if (!Args.Has("name") && !Args.Has("singer") && !Args.Has("album"))
    throw EUsage("give at least one of --name, --singer, --album");
  auto Session = OpenForChange(Args.Positional(0), DefaultPreloadFolder(Args.Positional(0)), C);
  auto Pack = LoadPack(Args.Positional(0));
  SetTexts(*Pack->Descriptions(Args.Index("description")), Args);
  Save(*Pack, *Session, false);
  return 0;
}

int AddDescription(const TArguments& Args, TContext& C) {
  for (const char* Option : {"name", "singer", "album"})
    if (Args.Has(Option))
      CheckText(Args.Value(Option));
  auto Session = OpenForChange(Args.Positional(0), DefaultPreloadFolder(Args.Positional(0)), C);
  auto Pack = LoadPack(Args.Positional(0));
  Pack->AddDescription("", "", WideToAnsi(msg::NewDescriptionDefault));
  SetTexts(*Pack->Descriptions(Pack->DescriptionCount() - 1), Args);
  Save(*Pack, *Session, false);
  C.Out << "Added description " << Pack->DescriptionCount() - 1 << "\n";
  return 0;
}

int RemoveDescription(const TArguments& Args, TContext& C) {
  auto Session = OpenForChange(Args.Positional(0), DefaultPreloadFolder(Args.Positional(0)), C);
  auto Pack = LoadPack(Args.Positional(0));
  Pack->DeleteDescription(Args.Index("description"));
  Save(*Pack, *Session, false);
  return 0;
}

int UpdatePreload(const TArguments& Args, TContext& C) {
  const std::string& Definition = Args.Positional(0);
  auto Session = OpenForChange(Definition, Args.Positional(1), C);
  LoadPack(Definition); // only a definition that opens goes into the game
  UpdatePreloadFolder(Definition, Args.Positional(1),
                      [&C] { C.Err << "warning: " << WideToAnsi(msg::UnableToCompress) << "\n"; }, {});
  return 0;
}

TEAStreamFile& EntryNamed(TEAStream& Archive, const std::string& Name) {
  for (int32_t I = 0; I < Archive.FileCount(); ++I)
    if (Archive.Files(I)->Name == Name)
      return *Archive.Files(I);
  throw Exception("No entry " + Name + " in " + Archive.FileName);
}

int ArchiveCommand(const TArguments& Args, TContext& C) {
  const std::string& Action = Args.Positional(0);
  static const std::map<std::string, std::pair<size_t, size_t>> Counts = {
      {"list", {2, 2}}, {"extract", {4, 4}}, {"add", {3, 3}}, {"rebuild", {2, 2}}};
  auto Count = Counts.find(Action);
  if (Count == Counts.end())
    throw EUsage("unknown archive action \"" + Action + "\"");
  if (Args.PositionalCount() != Count->second.first)
    throw EUsage("archive " + Action + " takes " + std::to_string(Count->second.first - 1) + " argument(s)");
  // An archive alone has a lock and a journal of its own while it is written.
  std::unique_ptr<TDefinitionSession> Session;
  if (Action == "add" || Action == "rebuild")
    Session = OpenForWriting(Args.Positional(1), C);
  else
    RecoverBeforeReading(Args.Positional(1), C);
  TEAStream Archive;
  Archive.LoadFromFile(Args.Positional(1));
  if (Action == "list") {
    for (int32_t I = 0; I < Archive.FileCount(); ++I)
      C.Out << Archive.Files(I)->Offset << "\t" << Archive.Files(I)->Size << "\t" << Archive.Files(I)->Name << "\n";
  } else if (Action == "extract") {
    EntryNamed(Archive, Args.Positional(2)).SaveToFile(Args.Positional(3));
  } else if (Action == "add") {
    std::string Name = Args.Has("name") ? Args.Value("name") : ExtractFileName(Args.Positional(2));
    Session->Journal.BeforeCreate(TFileSetCommit::NewName(Archive.FileName));
    Archive.AddFile(Args.Positional(2), Name);
    Archive.CommitOffsets();
    CheckOSError(platform::FlushFolder(ExtractFilePath(Archive.FileName)));
  } else {
    std::string Rebuilt = TFileSetCommit::NewName(Archive.FileName);
    Session->Journal.BeforeCreate(Rebuilt);
    try {
      Archive.SaveToFile(Rebuilt);
      CheckOSError(platform::ReplaceFile(Rebuilt, Archive.FileName));
      CheckOSError(platform::FlushFolder(ExtractFilePath(Archive.FileName)));
    } catch (...) {
      DiscardIfPresent(Rebuilt);
      throw;
    }
  }
  if (Session)
    Session->Journal.Finish();
  return 0;
}

struct TSubcommand {
  const char* Name;
  const char* Usage;
  std::set<std::string> Options, Flags;
  size_t MinPositional, MaxPositional;
  std::function<int(const TArguments&, TContext&)> Run;
};

const std::vector<TSubcommand>& Subcommands() {
  static const std::vector<TSubcommand> List = {
      {"info", "info DEF [--json]\n      Archives, descriptions and streams with their samples.", {}, {"json"}, 1, 1, Info},
      {"verify", "verify DEF\n      Checks that every archive opens, every sample resolves to an entry, no entry lies "
                 "outside its file and none overlap. Exit code 0 only when all hold.",
       {}, {}, 1, 1, Verify},
      {"export", "export DEF --stream S --sample I OUT [--format wave|aiff|eaxa|s16l|s8|mt|mt5]\n      Converts one "
                 "sample's song to OUT (the format by default from OUT's extension).",
       {"stream", "sample", "format"}, {}, 2, 2, Export},
      {"export-all", "export-all DEF FOLDER [--format wave|aiff|eaxa|s16l|s8|mt|mt5]\n      One file per distinct "
                     "entry used by a sample, named after the entry (Wave by default).",
       {"format"}, {}, 2, 2, ExportAll},
      {"import", "import DEF --stream S --sample I INPUT [--add]\n      Converts INPUT and puts it in place of the "
                 "sample's song (--add: as a new entry of its archive), then saves.",
       {"stream", "sample"}, {"add"}, 2, 2, Import},
      {"describe", "describe DEF --description K [--name T] [--singer T] [--album T]\n      Changes a description "
                   "(texts of at most 63 characters) and saves.",
       {"description", "name", "singer", "album"}, {}, 1, 1, Describe},
      {"add-description", "add-description DEF [--name T] [--singer T] [--album T]\n      Appends a description "
                          "(\"New Song\" unless named) and saves.",
       {"name", "singer", "album"}, {}, 1, 1, AddDescription},
      {"remove-description", "remove-description DEF --description K\n      Removes a description; its samples get "
                             "none, later ones move down by one. Saves.",
       {"description"}, {}, 1, 1, RemoveDescription},
      {"update-preload", "update-preload DEF PRELOAD-FOLDER\n      Puts DEF, compressed, into the preload archives "
                         "faudio.viv, gaudio.viv and gaudiofa.viv of the folder.",
       {}, {}, 2, 2, UpdatePreload},
      {"import-batch", "import-batch DEF --stream N (--sample K | --add ARCHIVE) [--no-loudness] [--json] "
                       "FILES...|FOLDER\n      Imports many songs in natural file-name order (a folder gives its "
                       "audio files).\n      --sample K: they replace samples K, K+1, ... of stream N; files "
                       "beyond the stream's end\n      become new samples in the archive of its last sample. --add "
                       "ARCHIVE: each becomes a new\n      sample at the end of stream N, as a new entry of ARCHIVE "
                       "(a name from the definition).\n      Descriptions come from the songs' tags, and each song "
                       "is brought to the median\n      loudness of the definition's songs (--no-loudness: kept as "
                       "it is). One line per song,\n      then the results (--json: as JSON); one save at the end. "
                       "Exit code 1 when any file failed.",
       {"stream", "sample", "add"}, {"no-loudness", "json"}, 2, SIZE_MAX, ImportBatch},
      {"loudness", "loudness DEF [--json]\n      The integrated loudness (LUFS) and true peak (dBTP) of every song "
                   "the definition's samples\n      use, and their median, the target of import-batch.",
       {}, {"json"}, 1, 1, Loudness},
      {"restore-original", "restore-original DEF [--preload FOLDER]\n      Puts back the original music kept before "
                           "the first change: the definition, its archives and\n      the preload archives (FOLDER, "
                           "by default \"preload\" beside the definition's folder), all\n      or nothing. The kept "
                           "copy stays.",
       {"preload"}, {}, 1, 1, RestoreOriginal},
      {"pack", "pack export DEF PACK [--no-loudness] | pack apply DEF PACK | pack show PACK [DEF]\n      Soundtrack "
               "packs (.orvikpack): export writes the samples whose song or description\n      differs from the kept "
               "original music (every sample when none is kept), with their songs\n      and loudness; apply puts "
               "them into DEF and saves, listing what does not fit DEF;\n      show lists a pack, or with DEF what "
               "applying it would change.",
       {}, {"no-loudness"}, 2, 3, PackCommand},
      {"archive", "archive list ARCHIVE | extract ARCHIVE ENTRY OUT | add ARCHIVE FILE [--name N] | rebuild "
                  "ARCHIVE\n      BIGF archives alone: list (offset, size, name), extract an entry, add a file as a "
                  "new entry, rebuild compact.",
       {"name"}, {}, 2, 4, ArchiveCommand},
  };
  return List;
}

void PrintUsage(std::ostream& Stream) {
  Stream << "Usage: orvik-streams COMMAND ARGUMENTS... (COMMAND --help for one command)\n\n"
         << "Before a command first changes a game's music, the definition, its archives and the preload\n"
         << "archives are kept in \"Original music\" beside the definition (--no-keep-original: not kept).\n\n";
  for (const TSubcommand& Command : Subcommands())
    Stream << "  " << Command.Usage << "\n\n";
}

} // namespace

int RunTool(const std::vector<std::string>& Arguments, std::ostream& Out, std::ostream& Err) {
  if (Arguments.empty() || Arguments[0] == "--help") {
    PrintUsage(Arguments.empty() ? Err : Out);
    return Arguments.empty() ? 2 : 0;
  }
  auto Command = std::find_if(Subcommands().begin(), Subcommands().end(),
                              [&](const TSubcommand& C) { return Arguments[0] == C.Name; });
  if (Command == Subcommands().end()) {
    Err << "orvik-streams: unknown command \"" << Arguments[0] << "\"\n";
    PrintUsage(Err);
    return 2;
  }
  std::vector<std::string> Rest(Arguments.begin() + 1, Arguments.end());
  if (std::find(Rest.begin(), Rest.end(), "--help") != Rest.end()) {
    Out << "Usage: orvik-streams " << Command->Usage << "\n";
    return 0;
  }
  TContext Context{Out, Err};
  auto NoKeep = std::find(Rest.begin(), Rest.end(), "--no-keep-original");
  if (NoKeep != Rest.end()) {
    Rest.erase(NoKeep);
    Context.KeepOriginal = false;
  }
  try {
    TArguments Args(Rest, Command->Options, Command->Flags, Command->MinPositional, Command->MaxPositional);
    return Command->Run(Args, Context);
  } catch (const EUsage& Error) {
    Err << "orvik-streams " << Command->Name << ": " << Error.what() << "\nUsage: orvik-streams " << Command->Usage
        << "\n";
    return 2;
  } catch (const std::exception& Error) {
    Err << Error.what() << "\n";
    return 1;
  }
}
