#include "tools/orvik-streams/Tool.h"

#include "tools/orvik-streams/Arguments.h"
#include "tools/orvik-streams/Commands.h"
#include "tools/orvik-streams/Utf8.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <set>
#include <vector>

namespace {

struct TSubcommand {
  const char* Name;
  const char* Usage;
  std::set<std::string> Options, Flags;
  size_t MinPositional, MaxPositional;
  std::function<int(const TArguments&, TContext&)> Run;
  std::set<std::string> Texts = {}; // the options that take a text: descriptions, in UTF-8
};

// A command to a line or two, its usage text broken where it reads best.
// clang-format off
const std::vector<TSubcommand>& Subcommands() {
  static const std::vector<TSubcommand> List = {
      {"info", "info DEF [--json]\n      Archives, descriptions and streams with their samples.", {}, {"json"}, 1, 1, Info},
      {"verify", "verify DEF\n      Checks that every archive opens, every sample resolves to an entry, no entry lies "
                 "outside its file and none overlap. Exit code 0 only when all hold.",
       {}, {}, 1, 1, Verify},
      {"export", "export DEF --stream S --sample I OUT [--format wave|aiff|flac|eaxa|s16l|s8|mt|mt5]\n      Converts "
                 "one sample's song to OUT (the format by default from OUT's extension), tagged\n      from its "
                 "description.",
       {"stream", "sample", "format"}, {}, 2, 2, Export},
      {"export-all", "export-all DEF FOLDER [--format flac|wave|aiff|eaxa|s16l|s8|mt|mt5] [--stream N] "
                     "[--names entry]\n      [--overwrite] [--json]\n      The soundtrack: every song the samples "
                     "play (of stream N alone with --stream), once\n      each, converted in parallel (Wave by "
                     "default), tagged and named \"Singer - Name\" from its\n      description (--names entry: "
                     "after its entry), with \"Stream <n>.m3u8\" per stream in the\n      game's order. Files "
                     "already in FOLDER are replaced only with --overwrite. One line\n      per song, then the "
                     "results (--json: as JSON). Exit code 1 when any song failed.",
       {"format", "stream", "names"}, {"overwrite", "json"}, 2, 2, ExportAll},
      {"import", "import DEF --stream S --sample I INPUT [--add] [--start S] [--end S] [--fade-out S]\n      "
                 "Converts INPUT and puts it in place of the sample's song (--add: as a new entry of its\n      "
                 "archive), then saves. --start and --end (seconds) keep that part of the song, --fade-out\n      "
                 "fades its last seconds out to silence, before its level is matched.",
       {"stream", "sample", "start", "end", "fade-out"}, {"add"}, 2, 2, Import},
      {"describe", "describe DEF --description K [--name T] [--singer T] [--album T]\n      Changes a description "
                   "(texts of at most 63 characters) and saves.",
       {"description", "name", "singer", "album"}, {}, 1, 1, Describe, {"name", "singer", "album"}},
      {"add-description", "add-description DEF [--name T] [--singer T] [--album T]\n      Appends a description "
                          "(\"New Song\" unless named) and saves.",
       {"name", "singer", "album"}, {}, 1, 1, AddDescription, {"name", "singer", "album"}},
      {"remove-description", "remove-description DEF --description K\n      Removes a description; its samples get "
                             "none, later ones move down by one. Saves.",
       {"description"}, {}, 1, 1, RemoveDescription},
      {"update-preload", "update-preload DEF PRELOAD-FOLDER\n      Puts DEF, compressed, into the preload archives "
                         "faudio.viv, gaudio.viv and gaudiofa.viv of the folder.",
       {}, {}, 2, 2, UpdatePreload},
      {"import-batch", "import-batch DEF --stream N (--sample K | --add ARCHIVE) [--no-loudness] [--json]\n"
                       "      [--start S] [--end S] [--fade-out S] FILES...|FOLDER\n      Imports many songs in natural file-name order (a folder gives its "
                       "audio files).\n      --sample K: they replace samples K, K+1, ... of stream N; files "
                       "beyond the stream's end\n      become new samples in the archive of its last sample. --add "
                       "ARCHIVE: each becomes a new\n      sample at the end of stream N, as a new entry of ARCHIVE "
                       "(a name from the definition).\n      Descriptions come from the songs' tags, and each song "
                       "is brought to the median\n      loudness of the definition's songs (--no-loudness: kept as "
                       "it is). Each song is trimmed and faded out as\n      import does it. One line per song, "
                       "then the results (--json: as JSON); one save\n      at the end. Exit code 1 when any file "
                       "failed.",
       {"stream", "sample", "add", "start", "end", "fade-out"}, {"no-loudness", "json"}, 2, SIZE_MAX, ImportBatch},
      {"loudness", "loudness DEF [--json]\n      The integrated loudness (LUFS) and true peak (dBTP) of every song "
                   "the definition's samples\n      use, and their median, the target of import-batch.",
       {}, {"json"}, 1, 1, Loudness},
      {"relevel", "relevel DEF [--target LUFS] [--stream N] [--sample K]...\n      Brings songs to one loudness in "
                  "place: each song is given the gain that reaches the\n      target (by default the median "
                  "loudness of the definition's songs; --target: -70 to 10),\n      held under -1 dBTP true "
                  "peak, and stored again in its own codec and rate. The songs\n      of every sample, of "
                  "stream N, or of its samples K...; a song several samples play\n      is re-levelled once, "
                  "for all of them. One line per song; one save at the end. Exit\n      code 1 when any song "
                  "failed.",
       {"target", "stream", "sample"}, {}, 1, 1, Relevel},
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
// clang-format on

void PrintUsage(std::ostream& Stream) {
  Stream
      << "Usage: orvik-streams COMMAND ARGUMENTS... (COMMAND --help for one command)\n\n"
      << "Before a command first changes a game's music, the definition, its archives and the preload\n"
      << "archives are kept in \"Original music\" beside the definition (--no-keep-original: not kept).\n\n";
  for (const TSubcommand& Command : Subcommands())
    Stream << "  " << Command.Usage << "\n\n";
}

} // namespace

int RunTool(const std::vector<std::string>& Arguments, std::ostream& Out, std::ostream& Err) {
  return RunTool(Arguments, Out, Err, platform::ProgramFolder());
}

int RunTool(const std::vector<std::string>& Arguments, std::ostream& Out, std::ostream& Err,
            const std::string& ProgramFolder) {
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
  Context.ProgramFolder = ProgramFolder;
  auto NoKeep = std::find(Rest.begin(), Rest.end(), "--no-keep-original");
  if (NoKeep != Rest.end()) {
    Rest.erase(NoKeep);
    Context.KeepOriginal = false;
  }
  try {
    TArguments Args(Rest, Command->Options, Command->Flags, Command->MinPositional, Command->MaxPositional,
                    Command->Texts);
    return Command->Run(Args, Context);
  } catch (const EUsage& Error) {
    Err << "orvik-streams " << Command->Name << ": " << Error.what() << "\nUsage: orvik-streams "
        << Command->Usage << "\n";
    return 2;
  } catch (const std::exception& Error) {
    Err << Utf8FromNarrow(Error.what()) << "\n";
    return 1;
  }
}
