// The soundtrack written as FLAC in one action, beside the converter alone run on each song one after
// another.
//
// Usage: orvik_soundtrack_export_bench <scratch folder> "<command>" <song>...
// <command> starts the Windows build of orvik-streams under Wine (for example
// "/usr/lib/wine/wine64 /path/orvik-streams.exe"); paths given to it are Wine's Z: paths. Two runs:
// the demo game's own songs (export-all DEF OUT --format flac), then a demo game whose stream 1 first
// gets the songs given (import-batch --no-loudness, untimed), exported alone (--stream 1). For each, the
// wall time of export-all, and of sx -flac run on every song's entry (extracted beforehand, untimed) one
// after another, and their ratio. Fails unless every command succeeds and every song is written.
#include "archive/uEAStream.h"
#include "base/Paths.h"
#include "bench/WineCommands.h"
#include "definitions/uTypes.h"
#include "tools/make-demo/Demo.h"
#include "workflows/SoundtrackExport.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace winebench;

struct TTimes {
  size_t Songs = 0;
  double Export = 0, Alone = 0;
};

// export-all of Stream (every stream when none) of the game in Folder, then sx on each of its songs.
TTimes Measure(const std::string& Command, const std::string& Folder, std::optional<int32_t> Stream) {
  const std::string Definition = Folder + "/audio/streams.dat", Out = Folder + "/soundtrack";
  TStreamPack Pack(IncludeTrailingPathDelimiter(Folder + "/audio"));
  Pack.LoadFromFile(Definition);
  const TSoundtrackPlan Plan =
      PlanSoundtrack(Pack, *FindConverterFormat("flac"), TSongNames::Description, Stream);
  std::vector<std::string> Entries;
  for (size_t I = 0; I < Plan.Songs.size(); ++I) {
    Entries.push_back(Folder + "/entry-" + std::to_string(I) + ".asf");
    Plan.Songs[I].File->SaveToFile(Entries.back());
  }
  TTimes Times;
  Times.Songs = Plan.Songs.size();
  const TClock::time_point Start = TClock::now();
  Run(Command + " export-all " + WinePath(Definition) + " " + WinePath(Out) + " --format flac" +
      (Stream ? " --stream " + std::to_string(*Stream) : std::string()) + " > /dev/null");
  Times.Export = Since(Start);
  for (const TSoundtrackSong& Song : Plan.Songs)
    if (!std::filesystem::is_regular_file(Out + "/" + Song.Name))
      throw std::runtime_error("not written: " + Song.Name);

  const std::string Program = "orvik-streams.exe";
  const size_t At = Command.rfind(Program);
  if (At == std::string::npos)
    throw std::runtime_error("the command names no " + Program + ": " + Command);
  const std::string Converter = std::string(Command).replace(At, Program.size(), "sx/sx.exe");
  const TClock::time_point Alone = TClock::now();
  for (const std::string& Entry : Entries)
    Run(Converter + " -flac " + WinePath(Entry) + " -=" + WinePath(Folder + "/alone.flac") + " > /dev/null");
  Times.Alone = Since(Alone);
  return Times;
}

void Print(const char* What, const TTimes& Times) {
  std::printf("%s: %zu songs; export-all %.1f s, the converter alone one after another %.1f s: %.2fx\n", What,
              Times.Songs, Times.Export, Times.Alone, Times.Alone / Times.Export);
  std::fflush(stdout);
}

} // namespace

int main(int Argc, char** Argv) {
  if (Argc < 4) {
    std::fprintf(stderr, "usage: orvik_soundtrack_export_bench <scratch folder> \"<command>\" <song>...\n");
    return 2;
  }
  const std::string Scratch = Argv[1], Command = Argv[2];
  std::string Songs;
  for (int I = 3; I < Argc; ++I)
    Songs += " " + WinePath(Argv[I]);
  try {
    const std::string Demo = Scratch + "/demo";
    demo::MakeDemo(Demo);
    Print("the demo's songs", Measure(Command, Demo, std::nullopt));

    const std::string Long = Scratch + "/long";
    demo::MakeDemo(Long);
    Run(Command + " import-batch " + WinePath(Long + "/audio/streams.dat") +
        " --stream 1 --sample 0 --no-loudness" + Songs + " > /dev/null");
    Print("the songs given, in stream 1", Measure(Command, Long, 1));
  } catch (const std::exception& Error) {
    std::fprintf(stderr, "orvik_soundtrack_export_bench: %s\n", Error.what());
    return 1;
  }
  return 0;
}
