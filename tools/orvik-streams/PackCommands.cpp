// restore-original and pack: the kept original music and soundtrack packs bound to arguments and
// standard output.

#include "base/Paths.h"
#include "platform/Process.h"
#include "tools/orvik-streams/Commands.h"
#include "tools/orvik-streams/Utf8.h"
#include "workflows/KeptOriginals.h"
#include "workflows/SoundtrackPack.h"

#include <cstdio>

namespace {

std::string PreloadFolderOf(const TArguments& Args, const std::string& Definition) {
  return Args.Has("preload") ? Args.Value("preload") : DefaultPreloadFolder(Definition);
}

std::string Loudness(const std::optional<double>& Value) {
  if (!Value)
    return "";
  char Text[32];
  std::snprintf(Text, sizeof Text, ", %.2f LUFS", *Value);
  return Text;
}

std::string Where(int32_t Stream, int32_t Position) {
  return "stream " + std::to_string(Stream) + " sample " + std::to_string(Position);
}

// Names and descriptions come from files (the pack's, the definition's and its archives'): none reaches
// the terminal with a control character in it. Names are written as file names, descriptions from the
// definition's code page.
std::string SongChange(const TPackChange& Change, const TSoundtrackPack& Pack) {
  const TPackSong& Packed =
      Pack.Manifest.Songs[static_cast<size_t>(Pack.Manifest.Samples[Change.Sample].Song)];
  const std::string Old = Change.OldSong.empty() ? "(none)" : Utf8FromNarrow(PrintableText(Change.OldSong));
  const std::string Song = Utf8FromNarrow(PrintableText(Packed.Name));
  const std::string Entry = Utf8FromNarrow(PrintableText(Change.EntryName));
  switch (Change.Song) {
  case TPackChange::Same:
    return "song unchanged";
  case TPackChange::Follows:
    return "song " + Old + " follows the sample that replaces it";
  case TPackChange::Replace:
    return "song " + Old + " replaced by " + Song;
  case TPackChange::Add:
    return "song " + Old + " -> " + Song + " as new entry " + Entry;
  case TPackChange::Bind:
    return "song " + Old + " -> " + Song + " (entry " + Entry + ")";
  }
  return "";
}

void PrintPlan(std::ostream& Out, const TPackPlan& Plan, const TSoundtrackPack& Pack) {
  for (const TPackChange& Change : Plan.Changes) {
    if (!Change.Changes())
      continue;
    Out << Where(Change.Stream, Change.Position) << (Change.NewSample ? " (new)" : "") << ": "
        << SongChange(Change, Pack);
    if (Change.DescriptionChanges)
      Out << "; description " << Utf8FromCodePage(PrintableText(Change.OldDescription)) << " -> "
          << Utf8FromCodePage(PrintableText(Change.NewDescription));
    Out << "\n";
  }
  for (const TPackMismatch& Miss : Plan.Unmatched)
    Out << Where(Miss.Stream, Miss.Position)
        << ": not applied: " << Utf8FromNarrow(PrintableText(Miss.Reason)) << "\n";
  Out << Plan.ChangeCount() << " sample(s) changed, " << Plan.Changes.size() - Plan.ChangeCount()
      << " already as the pack has them, " << Plan.Unmatched.size() << " not matching the definition\n";
}

int PackExport(const TArguments& Args, TContext& C) {
  const std::string& Definition = Args.Positional(1);
  auto Pack = LoadForReading(Definition, C);
  auto Originals = TKeptOriginals(Definition, DefaultPreloadFolder(Definition)).LoadKeptDefinition();
  TPackExportOptions Options;
  std::unique_ptr<TSystemConverterProcess> Runner;
  std::unique_ptr<TConverter> Converter;
  if (!Args.Has("no-loudness")) {
    Runner = std::make_unique<TSystemConverterProcess>(C.ProgramFolder);
    Converter = std::make_unique<TConverter>(*Runner);
    Options.Converter = Converter.get();
  }
  TPackExport Result = ExportPack(*Pack, Originals.get(), Args.Positional(2), Options);
  for (const std::string& Sample : Result.Unbound)
    C.Err << "warning: " << Sample << " is bound to no entry and is left out\n";
  C.Out << "Exported " << Result.Manifest.Samples.size() << " sample(s) with " << Result.Manifest.Songs.size()
        << " song(s) to " << Utf8FromNarrow(Args.Positional(2)) << ": "
        << (Originals ? "those that differ from the kept original music"
                      : "every sample (no original music is kept)")
        << "\n";
  return 0;
}

int PackApply(const TArguments& Args, TContext& C) {
  const std::string& Definition = Args.Positional(1);
  auto Packed = ReadPack(Args.Positional(2)); // a damaged pack is refused before anything is kept or locked
  TPackApplied Applied;
  ChangeDefinition(Definition, C, [&](TStreamPack& Pack, TDefinitionSession& Session) {
    Applied = ApplyPack(Pack, Session, *Packed);
    if (Applied.Plan.ChangeCount() > 0)
      Save(Pack, Session, Applied.Replaced);
  });
  PrintPlan(C.Out, Applied.Plan, *Packed);
  return 0;
}

int PackShow(const TArguments& Args, TContext& C) {
  auto Packed = ReadPack(Args.Positional(1));
  if (Args.PositionalCount() == 3) {
    auto Pack = LoadForReading(Args.Positional(2), C);
    PrintPlan(C.Out, PlanPack(*Pack, *Packed), *Packed);
    return 0;
  }
  const TPackManifest& Manifest = Packed->Manifest;
  C.Out << (Manifest.AgainstOriginals ? "Samples that differ from the original music: "
                                      : "Every sample of a definition: ")
        << Manifest.Samples.size() << ", songs: " << Manifest.Songs.size() << "\n";
  for (const TPackSample& Sample : Manifest.Samples) {
    const TPackSong& Song = Manifest.Songs[static_cast<size_t>(Sample.Song)];
    C.Out << "  " << Where(Sample.Stream, Sample.Position) << ": "
          << Utf8FromNarrow(PrintableText(Song.Archive + "/" + Song.Name)) << Loudness(Sample.Loudness)
          << "  "
          << (Sample.Described ? Utf8FromCodePage(PrintableText(Sample.Singer + " - " + Sample.Name + " (" +
                                                                Sample.Album + ")"))
                               : "(no description)")
          << "\n";
  }
  return 0;
}

} // namespace

int PackCommand(const TArguments& Args, TContext& C) {
  const std::string& Action = Args.Positional(0);
  if (Action == "export" && Args.PositionalCount() == 3)
    return PackExport(Args, C);
  if (Action == "apply" && Args.PositionalCount() == 3)
    return PackApply(Args, C);
  if (Action == "show" && Args.PositionalCount() >= 2)
    return PackShow(Args, C);
  throw EUsage("pack export DEF PACK, pack apply DEF PACK or pack show PACK [DEF]");
}

int RestoreOriginal(const TArguments& Args, TContext& C) {
  const std::string& Definition = Args.Positional(0);
  TKeptOriginals Originals(Definition, PreloadFolderOf(Args, Definition));
  RunInSession(OpenForWriting(Definition, C),
               [&](TDefinitionSession& Session) { Originals.Restore(Session.Journal); });
  C.Out << "Restored the original music from \"" << Utf8FromNarrow(Originals.Folder())
        << "\": " << Originals.Kept().size() << " file(s)\n";
  return 0;
}
