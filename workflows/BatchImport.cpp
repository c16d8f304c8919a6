#include "workflows/BatchImport.h"

#include "base/Paths.h"
#include "base/ScopeGuard.h"
#include "base/SongName.h"
#include "base/Streams.h"
#include "platform/FileSystem.h"
#include "workflows/JournaledImport.h"
#include "workflows/OrderedJobs.h"
#include "workflows/TagDescriptions.h"

#include <algorithm>

namespace {

// What a worker found out about one song, and the converted song's scratch file.
struct TSongWork {
  std::string Converted;
  TTagsReport Tags;
  std::optional<double> Loudness;
  TConversion Conversion;
  std::string Failure;
};

// Tags, then the conversion of one song (which measures it and matches its loudness when there is a
// target), on a worker thread: nothing here touches the definition.
void ConvertSong(TConverter& Converter, const std::string& Source, const std::optional<double>& Target,
                 const std::function<void(TSongStep)>& Step, TSongWork& Work) {
  Step(TSongStep::Tags);
  Work.Tags = Converter.Tags({Source})[0];
  // A file that the code page cannot name reaches the converter by its short name, which a song without
  // tags is then titled from: its own name stands in, as it does when the tags cannot be read (the
  // converter's reason then comes with the conversion).
  const std::string Given = ExtractFileName(Source), Own = platform::OwnFileNameUtf8(Source);
  const TSongName FromGiven = SongNameFromFile(Given);
  if (!Work.Tags.Error.empty() ||
      (Own != Given && Work.Tags.Title == FromGiven.Title && Work.Tags.Artist == FromGiven.Artist)) {
    const TSongName FromOwn = SongNameFromFile(Own);
    Work.Tags.Error.clear();
    Work.Tags.Title = FromOwn.Title;
    Work.Tags.Artist = FromOwn.Artist;
  }
  Step(TSongStep::Convert);
  Work.Conversion = Target ? Converter.ConvertToLoudness(SongFormat(), Source, Work.Converted, *Target)
                           : Converter.Convert(SongFormat(), Source, Work.Converted);
  if (!Work.Conversion.Made)
    Work.Failure = Work.Conversion.Reason;
  else if (Work.Conversion.Gain)
    Work.Loudness = Work.Conversion.Gain->Integrated;
}

// The sample a planned song goes to; a new one is appended to its stream, bound to its archive only.
TStreamData& SampleFor(TStreamPack& Pack, const TPlannedSong& Song) {
  TEAMusicStream& Stream = *Pack.Streams(Song.Stream);
  if (!Song.NewSample)
    return *Stream.Samples(Song.Sample);
  TStreamData& Sample = *Stream.AddSample(nullptr);
  Sample.ArchiveIndex = Song.ArchiveIndex;
  return Sample;
}

// Writes the converted song into its sample and describes it from its tags. A new sample that could not
// be written is taken out of its stream again.
void ImportSong(TStreamPack& Pack, TImportJournal& Journal, const TSongWork& Work, TSongResult& Result) {
  TStreamData& Sample = SampleFor(Pack, Result.Song);
  TEAMusicStream& Stream = *Sample.MusicStream;
  try {
    ImportThroughJournal(Journal, Sample, Result.Song.AsNewFile, Result.Song.EntryName, Result.Song.Source,
                         Work.Converted, DescriptionFromTags(Work.Tags));
  } catch (...) {
    if (Result.Song.NewSample)
      Stream.RemoveSample(&Sample);
    throw;
  }
  Result.Song.Sample = Stream.IndexOfSample(&Sample);
  Result.Entry = Sample.StreamFile()->Name;
  TDescribed Described = DescribeFromTags(Sample, Work.Tags);
  Result.Description = Described.Description;
  Result.NewDescription = Described.Added;
  Result.Lost = Described.Lost;
  Result.Cut = Described.Cut;
  Result.State = TSongResult::Imported;
}

} // namespace

size_t TBatchResult::ImportedCount() const {
  return static_cast<size_t>(std::count_if(
      Songs.begin(), Songs.end(), [](const TSongResult& S) { return S.State == TSongResult::Imported; }));
}

TBatchResult ImportBatch(TStreamPack& Pack, TDefinitionSession& Session,
                         const std::vector<TPlannedSong>& Plan, TConverter& Converter,
                         const TBatchOptions& Options) {
  TBatchResult Result;
  Result.Songs.resize(Plan.size());
  for (size_t I = 0; I < Plan.size(); ++I)
    Result.Songs[I].Song = Plan[I];
  std::vector<TSongWork> Work(Plan.size());

  TOrderedJobs Jobs;
  Jobs.Prepare = [&](size_t I) { Work[I].Converted = ChangeFileExt(MakeTempFileName("~asf"), ".asf"); };
  auto Step = [&](size_t I, TSongStep Next) {
    if (Options.SongStep)
      Options.SongStep(I, Next);
  };
  Jobs.Work = [&](size_t I) {
    ConvertSong(
        Converter, Plan[I].Source, Options.Target, [&, I](TSongStep Next) { Step(I, Next); }, Work[I]);
  };
  Jobs.Finish = [&](size_t I) {
    TSongResult& Song = Result.Songs[I];
    TScopeGuard Scratch([&Work, I] { DeleteIfPresent(Work[I].Converted); });
    Song.LoudnessBefore = Work[I].Loudness;
    if (Work[I].Loudness) { // silence keeps its level
      Song.Gain = Work[I].Conversion.Gain->Applied;
      Song.HeldBack = Work[I].Conversion.Gain->HeldBack;
    }
    if (Work[I].Failure.empty()) {
      Step(I, TSongStep::Write);
      ImportSong(Pack, Session.Imports, Work[I], Song);
      Result.Replaced = Result.Replaced || !Song.Song.AsNewFile;
    } else {
      Song.State = TSongResult::Failed;
      Song.Failure = Work[I].Failure;
    }
    if (Options.SongDone)
      Options.SongDone(Song, I, Plan.size());
  };
  Jobs.Discard = [&](size_t I) { DeleteIfPresent(Work[I].Converted); };
  unsigned Workers = Options.Workers == 0 ? ProcessorCount() : Options.Workers;
  Result.Cancelled = !RunOrderedJobs(Plan.size(), Workers, Jobs, Options.Cancel);
  return Result;
}
