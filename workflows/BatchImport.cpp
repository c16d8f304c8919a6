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

// Songs whose tags one converter run reads: a run's start costs about as much as reading a few songs'
// tags, and the first song of each group waits for them.
constexpr size_t kTagsPerRun = 8;

// Songs converted ahead of the one awaited, per converter: each waits as a scratch file until it is
// written.
constexpr size_t kConvertedAheadPerWorker = 4;

// The tags of a song, with its own name standing in where they give nothing better. A file that the code
// page cannot name reaches the converter by its short name, which a song without tags would be titled
// from; and a song whose tags cannot be read is titled from its name too (the converter's reason then
// comes with the conversion).
TTagsReport TagsOrOwnName(TTagsReport Tags, const std::string& Source) {
  const std::string Given = ExtractFileName(Source), Own = platform::OwnFileNameUtf8(Source);
  const TSongName FromGiven = SongNameFromFile(Given);
  if (!Tags.Error.empty() ||
      (Own != Given && Tags.Title == FromGiven.Title && Tags.Artist == FromGiven.Artist)) {
    const TSongName FromOwn = SongNameFromFile(Own);
    Tags.Error.clear();
    Tags.Title = FromOwn.Title;
    Tags.Artist = FromOwn.Artist;
  }
  return Tags;
}

// The conversion of one song (which measures it and matches its loudness when there is a target), on a
// worker thread: nothing here touches the definition.
void ConvertSong(TConverter& Converter, const TPlannedSong& Song, const std::optional<double>& Target,
                 TSongWork& Work) {
  Work.Conversion =
      Target ? Converter.ConvertToLoudness(SongFormat(), Song.Source, Work.Converted, *Target, Song.Shape)
             : Converter.Convert(SongFormat(), Song.Source, Work.Converted, std::nullopt, Song.Shape);
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
                         Work.Converted, DescriptionFromTags(Work.Tags), true);
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
  // The first song of each group reads the group's tags, which only the songs' Finish reads: that of
  // every later song of the group comes after it.
  Jobs.Work = [&](size_t I) {
    if (I % kTagsPerRun == 0) {
      Step(I, TSongStep::Tags);
      std::vector<std::string> Sources;
      for (size_t J = I; J < std::min(Plan.size(), I + kTagsPerRun); ++J)
        Sources.push_back(Plan[J].Source);
      std::vector<TTagsReport> Tags = Converter.Tags(Sources);
      for (size_t J = 0; J < Sources.size(); ++J)
        Work[I + J].Tags = TagsOrOwnName(Tags[J], Sources[J]);
    }
    Step(I, TSongStep::Convert);
    ConvertSong(Converter, Plan[I], Options.Target, Work[I]);
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
  // Songs differ in length: while a long one is awaited, the other converters go on with the next few.
  Jobs.Ahead = kConvertedAheadPerWorker * Workers;
  Result.Cancelled = !RunOrderedJobs(Plan.size(), Workers, Jobs, Options.Cancel);
  return Result;
}
