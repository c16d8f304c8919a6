#include "workflows/LoudnessTarget.h"

#include "base/Paths.h"
#include "base/Streams.h"
#include "platform/FileSystem.h"
#include "workflows/OrderedJobs.h"

#include <algorithm>

namespace {

// Songs measured by one converter run, about: enough to spread a start's cost, few enough to share the work.
constexpr size_t kSongsPerRun = 4;

// The runs that measure Songs songs on Workers converters: about kSongsPerRun songs each, and as many
// runs as the workers share evenly, so that no converter is left measuring alone at the end.
size_t RunsFor(size_t Songs, unsigned Workers) {
  if (Songs == 0)
    return 0;
  const size_t Share = std::min<size_t>(Workers, Songs);
  const size_t Runs = std::max<size_t>(1, Songs / kSongsPerRun);
  return (Runs + Share - 1) / Share * Share;
}

std::vector<TEAStreamFile*> DistinctEntries(const TStreamPack& Pack) {
  std::vector<TEAStreamFile*> Files;
  ForEachSample(Pack, [&](const TStreamData& Sample) {
    if (Sample.ArchiveIndex < 0 || Sample.ArchiveIndex >= Pack.ArchiveCount())
      return;
    TEAStreamFile* File = Sample.StreamFile();
    if (File != nullptr && std::find(Files.begin(), Files.end(), File) == Files.end())
      Files.push_back(File);
  });
  return Files;
}

void DeleteAll(const std::vector<std::string>& Paths) {
  for (const std::string& Path : Paths)
    DeleteIfPresent(Path);
}

} // namespace

std::optional<double> Median(std::vector<double> Values) {
  if (Values.empty())
    return std::nullopt;
  std::sort(Values.begin(), Values.end());
  size_t Middle = Values.size() / 2;
  return Values.size() % 2 == 1 ? Values[Middle] : (Values[Middle - 1] + Values[Middle]) / 2;
}

TDefinitionLoudness MeasureDefinition(const TStreamPack& Pack, TConverter& Converter, unsigned Workers,
                                      const TMeasureProgress& Progress, const std::atomic<bool>* Cancel) {
  return MeasureSongs(Pack, DistinctEntries(Pack), Converter, Workers, Progress, Cancel);
}

TDefinitionLoudness MeasureSongs(const TStreamPack& Pack, const std::vector<TEAStreamFile*>& Files,
                                 TConverter& Converter, unsigned Workers, const TMeasureProgress& Progress,
                                 const std::atomic<bool>* Cancel, const TSongMeasured& Measured) {
  TDefinitionLoudness Result;
  Result.Songs.resize(Files.size());
  if (Workers == 0)
    Workers = ProcessorCount();
  const size_t Runs = RunsFor(Files.size(), Workers);
  std::vector<std::vector<std::string>> Scratch(Runs);
  std::vector<std::vector<TMeasureReport>> Reports(Runs);
  auto Begin = [&](size_t Run) { return Run * Files.size() / Runs; };
  auto End = [&](size_t Run) { return Begin(Run + 1); };

  TOrderedJobs Jobs;
  Jobs.Prepare = [&](size_t Run) {
    try {
      for (size_t I = Begin(Run); I < End(Run); ++I) {
        Scratch[Run].push_back(ChangeFileExt(MakeTempFileName("~asf"), ".asf"));
        Files[I]->SaveToFile(Scratch[Run].back());
      }
    } catch (...) {
      DeleteAll(Scratch[Run]);
      throw;
    }
  };
  Jobs.Work = [&](size_t Run) { Reports[Run] = Converter.Measure(Scratch[Run]); };
  Jobs.Finish = [&](size_t Run) {
    DeleteAll(Scratch[Run]);
    for (size_t I = Begin(Run); I < End(Run); ++I) {
      TSongLoudness& Song = Result.Songs[I];
      Song.ArchiveIndex = Pack.IndexOfArchive(Files[I]->Owner);
      Song.Entry = Files[I]->Name;
      Song.Measure = Reports[Run][I - Begin(Run)];
      Song.Measure.Input = Files[I]->Name;
      if (Measured)
        Measured(Song, I);
    }
    if (Progress)
      Progress(End(Run), Files.size());
  };
  Jobs.Discard = [&](size_t Run) { DeleteAll(Scratch[Run]); };
  Result.Cancelled = !RunOrderedJobs(Runs, Workers, Jobs, Cancel);
  if (Result.Cancelled)
    return Result;
  std::vector<double> Levels;
  for (const TSongLoudness& Song : Result.Songs)
    if (Song.Measure.Integrated)
      Levels.push_back(*Song.Measure.Integrated);
  Result.Target = Median(Levels);
  return Result;
}
