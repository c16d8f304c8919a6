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
#include <map>
#include <utility>

namespace {

// What a worker found out about one song, and the converted song's scratch file.
struct TSongWork {
  std::string Converted;
  TTagsReport Tags;
  std::optional<double> Loudness;
  TConversion Conversion;
  std::string Failure;
};

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

// The conversion of one song (which reads its tags, and measures it and matches its loudness when there is
// a target, all from one reading of the file), on a worker thread: nothing here touches the definition.
void ConvertSong(TConverter& Converter, const TPlannedSong& Song, const std::optional<double>& Target,
                 TSongWork& Work) {
  TTagsReport Tags;
  Work.Conversion =
      Target
          ? Converter.ConvertToLoudness(SongFormat(), Song.Source, Work.Converted, *Target, Song.Shape, &Tags)
          : Converter.Convert(SongFormat(), Song.Source, Work.Converted, std::nullopt, Song.Shape, &Tags);
  Work.Tags = TagsOrOwnName(Tags, Song.Source);
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

// A song written into Sample: where it went, and its description from its tags.
void Imported(TStreamData& Sample, const TSongWork& Work, TSongResult& Result) {
  Result.Song.Sample = Sample.MusicStream->IndexOfSample(&Sample);
  Result.Entry = Sample.StreamFile()->Name;
  TDescribed Described = DescribeFromTags(Sample, Work.Tags);
  Result.Description = Described.Description;
  Result.NewDescription = Described.Added;
  Result.Lost = Described.Lost;
  Result.Cut = Described.Cut;
  Result.State = TSongResult::Imported;
}

// Writes the converted song in place of its sample's entry.
void ReplaceSong(TStreamPack& Pack, TImportJournal& Journal, const TSongWork& Work, TSongResult& Result) {
  TStreamData& Sample = SampleFor(Pack, Result.Song);
  ImportThroughJournal(Journal, Sample, false, "", Result.Song.Source, Work.Converted,
                       DescriptionFromTags(Work.Tags), true);
  Imported(Sample, Work, Result);
}

// Writes the converted songs Songs, in order, as new entries of the archive at ArchiveIndex, in one
// rewrite of its file. New samples that could not be written are taken out of their streams again.
void AddSongs(TStreamPack& Pack, TImportJournal& Journal, int32_t ArchiveIndex,
              const std::vector<size_t>& Songs, const std::vector<TSongWork>& Work,
              std::vector<TSongResult>& Results) {
  std::vector<TJournaledAdd> Adds;
  try {
    for (size_t I : Songs) {
      const TPlannedSong& Song = Results[I].Song;
      Adds.push_back({&SampleFor(Pack, Song), Song.EntryName, Song.Source, Work[I].Converted,
                      DescriptionFromTags(Work[I].Tags), true});
    }
    AddThroughJournal(Journal, Pack, ArchiveIndex, Adds);
  } catch (...) {
    for (size_t K = Adds.size(); K-- > 0;)
      if (Results[Songs[K]].Song.NewSample)
        Adds[K].Sample->MusicStream->RemoveSample(Adds[K].Sample);
    throw;
  }
  for (size_t K = 0; K < Songs.size(); ++K)
    Imported(*Adds[K].Sample, Work[Songs[K]], Results[Songs[K]]);
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
    Step(I, TSongStep::Convert);
    ConvertSong(Converter, Plan[I], Options.Target, Work[I]);
  };
  auto Done = [&](size_t I) {
    if (Options.SongDone)
      Options.SongDone(Result.Songs[I], I, Plan.size());
  };
  // Songs that go into an archive as new entries wait here, in order, to be added together: an add
  // rewrites the whole archive, so a group as large as what the batch added to it before (one, one, two,
  // four...) copies it a few times in all rather than once a song.
  int32_t PendingArchive = -1;
  std::vector<size_t> Pending;
  std::map<int32_t, size_t> AddedTo;
  auto AddPending = [&] {
    if (Pending.empty())
      return;
    const std::vector<size_t> Songs = std::exchange(Pending, {});
    TScopeGuard Scratch([&] {
      for (size_t I : Songs)
        DeleteIfPresent(Work[I].Converted);
    });
    for (size_t I : Songs)
      Step(I, TSongStep::Write);
    AddSongs(Pack, Session.Imports, PendingArchive, Songs, Work, Result.Songs);
    AddedTo[PendingArchive] += Songs.size();
    for (size_t I : Songs)
      Done(I);
  };
  Jobs.Finish = [&](size_t I) {
    TSongResult& Song = Result.Songs[I];
    Song.LoudnessBefore = Work[I].Loudness;
    if (Work[I].Loudness) { // silence keeps its level
      Song.Gain = Work[I].Conversion.Gain->Applied;
      Song.HeldBack = Work[I].Conversion.Gain->HeldBack;
    }
    if (Work[I].Failure.empty() && Song.Song.AsNewFile) {
      if (PendingArchive != Song.Song.ArchiveIndex)
        AddPending();
      PendingArchive = Song.Song.ArchiveIndex;
      Pending.push_back(I);
      Step(I, TSongStep::Ready);
      if (Pending.size() >= std::max<size_t>(1, AddedTo[PendingArchive]) || I + 1 == Plan.size())
        AddPending();
      return;
    }
    TScopeGuard Scratch([&Work, I] { DeleteIfPresent(Work[I].Converted); });
    AddPending(); // the songs before it are written first
    if (Work[I].Failure.empty()) {
      Step(I, TSongStep::Write);
      ReplaceSong(Pack, Session.Imports, Work[I], Song);
      Result.Replaced = true;
    } else {
      Song.State = TSongResult::Failed;
      Song.Failure = Work[I].Failure;
    }
    Done(I);
  };
  Jobs.Discard = [&](size_t I) { DeleteIfPresent(Work[I].Converted); };
  unsigned Workers = Options.Workers == 0 ? ProcessorCount() : Options.Workers;
  // Songs differ in length: while a long one is awaited, the other converters go on with the next few.
  Jobs.Ahead = kConvertedAheadPerWorker * Workers;
  try {
    Result.Cancelled = !RunOrderedJobs(Plan.size(), Workers, Jobs, Options.Cancel);
  } catch (...) {
    // The songs converted before the error are written still, as they would have been one at a time.
    try {
      AddPending();
    } catch (...) {
    }
    throw;
  }
  AddPending(); // those in hand at a cancel
  return Result;
}
