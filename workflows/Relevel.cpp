#include "workflows/Relevel.h"

#include "base/Exceptions.h"
#include "base/Paths.h"
#include "base/ScopeGuard.h"
#include "base/Streams.h"
#include "platform/FileSystem.h"
#include "workflows/JournaledImport.h"
#include "workflows/OrderedJobs.h"

#include <algorithm>
#include <cmath>

namespace {

// The converter's range of gains, and the true peak its gain never lets a song pass (dBTP).
constexpr double kLargestGainDb = 60;
constexpr double kPeakCeilingDbtp = -1;
// How far past the ceiling an encoded song's true peak may lie before it is encoded again, quieter; and how
// far under the ceiling the second encoding aims. Encoding again moves the peak by a few hundredths.
constexpr double kPeakSlackDb = 0.05, kPeakAimDb = 0.02;
// The most times a song is encoded again to bring its peak under the ceiling.
constexpr int kPeakRetries = 3;

TStreamData& SampleAt(const TStreamPack& Pack, TSampleRef Ref) {
  return *Pack.Streams(Ref.Stream)->Samples(Ref.Sample);
}

TEAStreamFile& EntryOf(const TStreamPack& Pack, TSampleRef Ref) {
  TEAStreamFile* File = SampleAt(Pack, Ref).StreamFile();
  if (File == nullptr)
    throw Exception("Stream " + std::to_string(Ref.Stream) + " sample " + std::to_string(Ref.Sample) +
                    " is bound to no file of its archive");
  return *File;
}

// One song's way through a worker: its bytes copied out of the archive, measured, converted with its gain.
struct TRelevelWork {
  std::string Original, Converted; // scratch files
  TRelevelSong Song;
};

void DecideGain(TConverter& Converter, double Target, TRelevelWork& Work) {
  TRelevelSong& Song = Work.Song;
  const TMeasureReport Measured = Converter.Measure({Work.Original})[0];
  if (!Measured.Error.empty()) {
    Song.State = TRelevelSong::Failed;
    Song.Failure = Measured.Error;
    return;
  }
  Song.Codec = Measured.Codec;
  Song.LoudnessBefore = Measured.Integrated;
  Song.TruePeakBefore = Measured.TruePeak;
  const TConverterFormat* Format = EAFormatOfCodec(Measured.Codec);
  if (Format == nullptr) {
    Song.State = TRelevelSong::Failed;
    Song.Failure = "The song is stored as " + (Measured.Codec.empty() ? "an unknown codec" : Measured.Codec) +
                   ", which the converter does not write";
    return;
  }
  const double Gain =
      Measured.Integrated ? std::clamp(Target - *Measured.Integrated, -kLargestGainDb, kLargestGainDb) : 0;
  if (std::abs(Gain) < kSmallestRelevelGainDb) {
    Song.State = TRelevelSong::Unchanged;
    return;
  }
  TConversion Conversion = Converter.Convert(*Format, Work.Original, Work.Converted, Gain);
  // The converter holds the decoded song's peak at the ceiling, but a lossy codec's own error can carry the
  // encoded song past it (MicroTalk by a decibel): such a song is encoded again with that much less gain.
  for (int Retry = 0; Conversion.Made && Retry < kPeakRetries; ++Retry) {
    const TMeasureReport Encoded = Converter.Measure({Work.Converted})[0];
    if (!Encoded.Error.empty() || !Encoded.TruePeak || *Encoded.TruePeak <= kPeakCeilingDbtp + kPeakSlackDb)
      break;
    const double Lower = std::max(-kLargestGainDb, Conversion.Gain->Applied -
                                                       (*Encoded.TruePeak - kPeakCeilingDbtp) - kPeakAimDb);
    Conversion = Converter.Convert(*Format, Work.Original, Work.Converted, Lower);
    if (Conversion.Made)
      Conversion.Gain->HeldBack = true;
  }
  if (!Conversion.Made) {
    Song.State = TRelevelSong::Failed;
    Song.Failure = Conversion.Reason;
    return;
  }
  const double Applied = Conversion.Gain->Applied;
  Song.HeldBack = Conversion.Gain->HeldBack;
  // A song quieter than the target whose peak is at the limit already would only be made louder by a
  // fraction of a decibel that encoding it again takes back (or quieter still): it stays, and a second run
  // changes nothing.
  if (std::abs(Applied) < kSmallestRelevelGainDb ||
      (Gain > 0 && Song.HeldBack && Applied < kSmallestHeldGainDb)) {
    Song.State = TRelevelSong::Unchanged;
    return;
  }
  Song.Gain = Applied;
  Song.State = TRelevelSong::Relevelled;
}

// What the journal notes as the import's source: the song's own entry.
std::string SourceOf(const TStreamPack& Pack, const TRelevelSong& Song) {
  return ExtractFileName(Pack.Archives(Song.ArchiveIndex)->FileName) + " " + Song.Entry + " (re-levelled)";
}

} // namespace

size_t TRelevelResult::CountOf(TRelevelSong::TState State) const {
  return static_cast<size_t>(
      std::count_if(Songs.begin(), Songs.end(), [State](const TRelevelSong& S) { return S.State == State; }));
}

std::vector<TSampleRef> SamplesWithSongs(const TStreamPack& Pack, std::optional<int32_t> Stream) {
  std::vector<TSampleRef> Samples;
  for (int32_t S = Stream.value_or(0); S < (Stream ? *Stream + 1 : Pack.StreamCount()); ++S) {
    const TEAMusicStream& Music = *Pack.Streams(S);
    for (int32_t I = 0; I < Music.SampleCount(); ++I) {
      const TStreamData& Sample = *Music.Samples(I);
      if (Sample.ArchiveIndex >= 0 && Sample.ArchiveIndex < Pack.ArchiveCount() &&
          Sample.StreamFile() != nullptr)
        Samples.push_back({S, I});
    }
  }
  return Samples;
}

std::vector<TRelevelSong> PlanRelevel(const TStreamPack& Pack, const std::vector<TSampleRef>& Samples) {
  std::vector<TRelevelSong> Songs;
  std::vector<const TEAStreamFile*> Entries;
  for (TSampleRef Ref : Samples) {
    const TEAStreamFile& Entry = EntryOf(Pack, Ref);
    if (std::find(Entries.begin(), Entries.end(), &Entry) != Entries.end())
      continue;
    Entries.push_back(&Entry);
    TRelevelSong Song;
    Song.Sample = Ref;
    Song.ArchiveIndex = SampleAt(Pack, Ref).ArchiveIndex;
    Song.Entry = Entry.Name;
    Songs.push_back(Song);
  }
  return Songs;
}

TRelevelResult RelevelSongs(TStreamPack& Pack, TDefinitionSession& Session,
                            const std::vector<TSampleRef>& Samples, TConverter& Converter,
                            const TRelevelOptions& Options) {
  TRelevelResult Result;
  Result.Songs = PlanRelevel(Pack, Samples);
  const unsigned Workers = Options.Workers == 0 ? ProcessorCount() : Options.Workers;
  Result.Target = Options.Target;
  if (!Result.Target) {
    TDefinitionLoudness Game = MeasureDefinition(Pack, Converter, Workers, Options.Measuring, Options.Cancel);
    Result.Cancelled = Game.Cancelled;
    Result.Target = Game.Target;
  }
  if (Result.Cancelled || !Result.Target)
    return Result;
  if (Options.Targeted)
    Options.Targeted(*Result.Target);

  std::vector<TRelevelWork> Work(Result.Songs.size());
  auto DeleteScratch = [&Work](size_t I) {
    DeleteIfPresent(Work[I].Original);
    DeleteIfPresent(Work[I].Converted);
  };
  TOrderedJobs Jobs;
  Jobs.Prepare = [&](size_t I) {
    Work[I].Song = Result.Songs[I];
    // Both named after one scratch name: a name is free again once MakeTempFileName has deleted its file,
    // so two asked for in a row may be the same.
    const std::string Scratch = MakeTempFileName("~asf");
    Work[I].Original = ChangeFileExt(Scratch, ".asf");
    Work[I].Converted = ChangeFileExt(Scratch, ".level.asf");
    try {
      EntryOf(Pack, Work[I].Song.Sample).SaveToFile(Work[I].Original);
    } catch (...) {
      DeleteScratch(I);
      throw;
    }
  };
  Jobs.Work = [&](size_t I) { DecideGain(Converter, *Result.Target, Work[I]); };
  Jobs.Finish = [&](size_t I) {
    TScopeGuard Scratch([&DeleteScratch, I] { DeleteScratch(I); });
    TRelevelSong& Song = Result.Songs[I];
    Song = Work[I].Song;
    if (Song.State == TRelevelSong::Relevelled)
      ImportThroughJournal(Session.Imports, SampleAt(Pack, Song.Sample), false, "", SourceOf(Pack, Song),
                           Work[I].Converted);
    if (Options.SongDone)
      Options.SongDone(Song, I, Result.Songs.size());
  };
  Jobs.Discard = DeleteScratch;
  Result.Cancelled = !RunOrderedJobs(Result.Songs.size(), Workers, Jobs, Options.Cancel);
  return Result;
}
