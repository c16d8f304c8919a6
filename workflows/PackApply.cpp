// What applying a soundtrack pack changes, and the change itself.

#include "base/Exceptions.h"
#include "base/Paths.h"
#include "base/Streams.h"
#include "platform/FileSystem.h"
#include "workflows/BatchPlan.h"
#include "workflows/JournaledImport.h"
#include "workflows/SoundtrackPack.h"
#include "workflows/TagDescriptions.h"

#include <algorithm>
#include <map>

namespace {

std::string DescriptionText(bool Described, const std::string& Name, const std::string& Singer,
                            const std::string& Album) {
  return Described ? Singer + " - " + Name + " (" + Album + ")" : "(none)";
}

std::string DescriptionOf(const TStreamData& Sample) {
  const TStreamPack& Pack = *Sample.MusicStream->Pack;
  if (Sample.DescriptionIndex < 0 || Sample.DescriptionIndex >= Pack.DescriptionCount())
    return DescriptionText(false, "", "", "");
  const TStreamDescription& D = *Sample.Description();
  return DescriptionText(true, FieldText(D.Name), FieldText(D.Singer), FieldText(D.Album));
}

// Walks the pack's samples in order, keeping what the plan has done so far to the target's shape.
class TPlanner {
public:
  TPlanner(const TStreamPack& Target, const TSoundtrackPack& Pack)
      : FTarget(Target), FPack(Pack), FNames(Target) {
    for (size_t I = 0; I < Pack.Manifest.Samples.size(); ++I)
      FPacked[{Pack.Manifest.Samples[I].Stream, Pack.Manifest.Samples[I].Position}] = I;
  }

  void Plan(size_t Index) {
    const TPackSample& Packed = FPack.Manifest.Samples[Index];
    TPackChange Change;
    Change.Sample = Index;
    Change.Stream = Packed.Stream;
    Change.Position = Packed.Position;
    Change.NewDescription = DescriptionText(Packed.Described, Packed.Name, Packed.Singer, Packed.Album);
    if (Packed.Stream >= FTarget.StreamCount())
      return Unmatched(Packed, "the definition has no stream " + std::to_string(Packed.Stream));
    int32_t& Count = CountOf(Packed.Stream);
    if (Packed.Position > Count)
      return Unmatched(Packed, "stream " + std::to_string(Packed.Stream) + " has " + std::to_string(Count) +
                                   " samples: position " + std::to_string(Packed.Position) +
                                   " is beyond its end");
    bool Planned = Packed.Position == Count ? PlanNew(Packed, Change) : PlanExisting(Packed, Change);
    if (Planned)
      FResult.Changes.push_back(Change);
  }

  TPackPlan Result() { return std::move(FResult); }

private:
  void Unmatched(const TPackSample& Packed, const std::string& Reason) {
    FResult.Unmatched.push_back({Packed.Stream, Packed.Position, Reason});
  }

  int32_t& CountOf(int32_t Stream) {
    auto Found = FCounts.find(Stream);
    if (Found == FCounts.end())
      Found = FCounts.emplace(Stream, FTarget.Streams(Stream)->SampleCount()).first;
    return Found->second;
  }

  const TSongDigest& PackDigest(int32_t Song) {
    auto Found = FPackDigests.find(Song);
    if (Found == FPackDigests.end())
      Found = FPackDigests.emplace(Song, DigestOf(*FPack.Songs[static_cast<size_t>(Song)])).first;
    return Found->second;
  }

  const TSongDigest& TargetDigest(const TEAStreamFile* Entry) {
    auto Found = FTargetDigests.find(Entry);
    if (Found == FTargetDigests.end())
      Found = FTargetDigests.emplace(Entry, DigestOf(*Entry)).first;
    return Found->second;
  }

  // True when every sample of the target bound to Entry is a sample of the pack that takes Song there.
  bool AllUsersTake(const TEAStreamFile* Entry, const TPackSample& Packed) {
    auto Takes = [&](TSampleRef User) {
      auto Found = FPacked.find({User.Stream, User.Sample});
      if (Found == FPacked.end())
        return false;
      const TPackSample& Other = FPack.Manifest.Samples[Found->second];
      return Other.Song == Packed.Song &&
             FTarget.Streams(User.Stream)->Samples(User.Sample)->FileOffset - Entry->Offset ==
                 Other.SongOffset;
    };
    return !SharerOutside(FTarget, Entry, Takes);
  }

  // True when every sample of the target that uses the description Index is a sample of the pack that is
  // to read as Packed.
  bool AllUsersRead(int32_t Index, const TPackSample& Packed) {
    bool All = true;
    for (int32_t S = 0; S < FTarget.StreamCount(); ++S)
      for (int32_t I = 0; I < FTarget.Streams(S)->SampleCount(); ++I) {
        if (FTarget.Streams(S)->Samples(I)->DescriptionIndex != Index)
          continue;
        auto Found = FPacked.find({S, I});
        const TPackSample* Other = Found == FPacked.end() ? nullptr : &FPack.Manifest.Samples[Found->second];
        All = All && Other != nullptr && Other->Described && Other->Name == Packed.Name &&
              Other->Singer == Packed.Singer && Other->Album == Packed.Album;
      }
    return All;
  }

  // A song that an earlier sample added to the archive is bound to; else it becomes a new entry.
  void AddOrBind(const TPackSample& Packed, TPackChange& Change) {
    auto Added = FAdded.find({Change.ArchiveIndex, Packed.Song});
    if (Added != FAdded.end()) {
      Change.Song = TPackChange::Bind;
      Change.EntryName = Added->second;
      return;
    }
    Change.Song = TPackChange::Add;
    Change.EntryName =
        FNames.Unique(Change.ArchiveIndex, FPack.Manifest.Songs[static_cast<size_t>(Packed.Song)].Name);
    FAdded[{Change.ArchiveIndex, Packed.Song}] = Change.EntryName;
  }

  bool PlanNew(const TPackSample& Packed, TPackChange& Change) {
    int32_t Archive = FindArchive(FTarget, FPack.Manifest.Songs[static_cast<size_t>(Packed.Song)].Archive);
    if (Archive < 0)
      Archive = LastArchive(Packed.Stream);
    if (Archive < 0) {
      Unmatched(Packed, "the definition has no archive of that name, and stream " +
                            std::to_string(Packed.Stream) + " no sample whose archive could take it");
      return false;
    }
    Change.NewSample = true;
    Change.ArchiveIndex = Archive;
    AddOrBind(Packed, Change);
    Change.OldDescription = DescriptionText(false, "", "", "");
    Change.DescriptionChanges = Packed.Described;
    FLastArchive[Packed.Stream] = Archive;
    ++CountOf(Packed.Stream);
    return true;
  }

  int32_t LastArchive(int32_t Stream) const {
    auto Found = FLastArchive.find(Stream);
    if (Found != FLastArchive.end())
      return Found->second;
    const TEAMusicStream& Samples = *FTarget.Streams(Stream);
    if (Samples.SampleCount() == 0)
      return -1;
    int32_t Archive = Samples.Samples(Samples.SampleCount() - 1)->ArchiveIndex;
    return Archive >= 0 && Archive < FTarget.ArchiveCount() ? Archive : -1;
  }

  bool PlanExisting(const TPackSample& Packed, TPackChange& Change) {
    const TStreamData& Sample = *FTarget.Streams(Packed.Stream)->Samples(Packed.Position);
    const TEAStreamFile* Entry = EntryOfSample(Sample);
    Change.ArchiveIndex = Sample.ArchiveIndex;
    Change.OldSong = Entry != nullptr ? Entry->Name : "";
    Change.OldDescription = DescriptionOf(Sample);
    Change.DescriptionChanges = !SameDescription(Sample, Packed);
    Change.DescriptionInPlace =
        Change.DescriptionChanges && Packed.Described && Sample.DescriptionIndex >= 0 &&
        Sample.DescriptionIndex < FTarget.DescriptionCount() && AllUsersRead(Sample.DescriptionIndex, Packed);
    auto Claimed = Entry != nullptr ? FClaimed.find(Entry) : FClaimed.end();
    if (Entry != nullptr && Sample.FileOffset - Entry->Offset == Packed.SongOffset &&
        TargetDigest(Entry) == PackDigest(Packed.Song) && Claimed == FClaimed.end()) {
      Change.Song = TPackChange::Same;
    } else if (Claimed != FClaimed.end() && Claimed->second == Packed.Song) {
      Change.Song = TPackChange::Follows;
    } else if (Sample.ArchiveIndex < 0 || Sample.ArchiveIndex >= FTarget.ArchiveCount()) {
      Unmatched(Packed, "the sample is bound to no archive of the definition");
      return false;
    } else if (Entry != nullptr && Claimed == FClaimed.end() && AllUsersTake(Entry, Packed)) {
      Change.Song = TPackChange::Replace;
      FClaimed[Entry] = Packed.Song;
    } else {
      AddOrBind(Packed, Change);
    }
    return true;
  }

  const TStreamPack& FTarget;
  const TSoundtrackPack& FPack;
  TEntryNames FNames;
  TPackPlan FResult;
  std::map<std::pair<int32_t, int32_t>, size_t> FPacked; // (stream, position) to the pack's sample
  std::map<int32_t, int32_t> FCounts;                    // a stream's samples, with those the plan appends
  std::map<int32_t, int32_t> FLastArchive;               // the archive of a stream's last appended sample
  std::map<const TEAStreamFile*, int32_t> FClaimed;      // entries replaced in place, with their song
  std::map<std::pair<int32_t, int32_t>, std::string> FAdded; // (archive, song) to the entry added for it
  std::map<int32_t, TSongDigest> FPackDigests;
  std::map<const TEAStreamFile*, TSongDigest> FTargetDigests;
};

// Scratch copies of the pack's songs, one per song, for the journal to keep and the archives to take;
// deleted however the apply ends.
class TScratchSongs {
public:
  explicit TScratchSongs(const TSoundtrackPack& Pack) : FPack(Pack) {}
  TScratchSongs(const TScratchSongs&) = delete;
  TScratchSongs& operator=(const TScratchSongs&) = delete;
  ~TScratchSongs() {
    for (const auto& Made : FPaths)
      DeleteIfPresent(Made.second);
  }

  const std::string& Of(int32_t Song) {
    auto Found = FPaths.find(Song);
    if (Found == FPaths.end()) {
      Found = FPaths.emplace(Song, ChangeFileExt(MakeTempFileName("~asf"), ".asf")).first;
      FPack.Songs[static_cast<size_t>(Song)]->SaveToFile(Found->second);
    }
    return Found->second;
  }

private:
  const TSoundtrackPack& FPack;
  std::map<int32_t, std::string> FPaths;
};

// Writes the songs of a plan: replaces in place first, then the new entries of each archive in one
// rebuild of that archive, then the samples bound to those entries.
class TSongWriter {
public:
  TSongWriter(TStreamPack& Target, TImportJournal& Journal, const TSoundtrackPack& Pack,
              const TPackPlan& Plan)
      : FTarget(Target), FJournal(Journal), FPack(Pack), FPlan(Plan), FScratch(Pack) {}

  // The samples of the plan's changes, new ones appended in the plan's order so that each takes the
  // position the plan gave it; a change that changes nothing has none.
  void AddSamples() {
    for (const TPackChange& Change : FPlan.Changes) {
      TEAMusicStream& Stream = *FTarget.Streams(Change.Stream);
      TStreamData* Sample = nullptr;
      if (Change.NewSample) {
        Sample = Stream.AddSample(nullptr);
        Sample->ArchiveIndex = Change.ArchiveIndex;
        FUnbound.push_back(Sample);
      } else {
        Sample = Stream.Samples(Change.Position);
      }
      FSamples.push_back(Sample);
    }
  }

  void Write() {
    for (size_t I = 0; I < FPlan.Changes.size(); ++I)
      if (FPlan.Changes[I].Song == TPackChange::Replace)
        Replace(I);
    std::map<int32_t, std::vector<size_t>> Adds; // by archive
    for (size_t I = 0; I < FPlan.Changes.size(); ++I)
      if (FPlan.Changes[I].Song == TPackChange::Add)
        Adds[FPlan.Changes[I].ArchiveIndex].push_back(I);
    for (const auto& [Archive, Changes] : Adds)
      Add(Archive, Changes);
    for (size_t I = 0; I < FPlan.Changes.size(); ++I)
      if (FPlan.Changes[I].Song == TPackChange::Bind) {
        TStreamData& Sample = *FSamples[I];
        Sample.SetStreamFile(&Sample.Archive()->FileNamed(FPlan.Changes[I].EntryName));
        Placed(I);
      }
  }

  // After a failure: the new samples that no song reached leave the definition rather than stay bound to
  // nothing. Those placed keep their songs, written and journaled.
  void RemoveUnbound() {
    for (auto Sample = FUnbound.rbegin(); Sample != FUnbound.rend(); ++Sample)
      (*Sample)->MusicStream->RemoveSample(*Sample);
    FUnbound.clear();
  }

  TStreamData& SampleOf(size_t Change) const { return *FSamples[Change]; }

private:
  // The description the change gives its sample, as its import's note keeps it.
  TImportDescription Noted(size_t Change) const {
    const TPackSample& P = Packed(Change);
    return {P.Described, P.Name, P.Singer, P.Album};
  }
  const TPackSample& Packed(size_t Change) const {
    return FPack.Manifest.Samples[FPlan.Changes[Change].Sample];
  }

  std::string Source(size_t Change) const {
    return FPack.Archive.FileName + " (" + FPack.Songs[static_cast<size_t>(Packed(Change).Song)]->Name + ")";
  }

  // The sample, bound to the start of its song's entry, moves to where the pack has it start in the song.
  void Placed(size_t Change) {
    TStreamData& Sample = *FSamples[Change];
    Sample.FileOffset += Packed(Change).SongOffset;
    FUnbound.erase(std::remove(FUnbound.begin(), FUnbound.end(), &Sample), FUnbound.end());
  }

  // Replaces the entry in place. The replace moves every sample bound to the entry to its new start: the
  // samples that follow this one into the song (the plan replaces only an entry that all of its samples
  // take the same song into) are each put back at their own place in it.
  void Replace(size_t Change) {
    TStreamData& Sample = *FSamples[Change];
    TEAStreamFile* Entry = Sample.StreamFile();
    std::vector<size_t> Sharing = {Change};
    for (size_t I = 0; I < FPlan.Changes.size(); ++I)
      if (FPlan.Changes[I].Song == TPackChange::Follows && FSamples[I]->StreamFile() == Entry)
        Sharing.push_back(I);
    ImportThroughJournal(FJournal, Sample, false, "", Source(Change), FScratch.Of(Packed(Change).Song),
                         Noted(Change));
    for (size_t I : Sharing)
      FSamples[I]->FileOffset = Entry->Offset + Packed(I).SongOffset;
  }

  void Add(int32_t Archive, const std::vector<size_t>& Changes) {
    std::vector<TJournaledAdd> Adds;
    for (size_t I : Changes)
      Adds.push_back(
          {FSamples[I], FPlan.Changes[I].EntryName, Source(I), FScratch.Of(Packed(I).Song), Noted(I)});
    AddThroughJournal(FJournal, FTarget, Archive, Adds);
    for (size_t I : Changes)
      Placed(I);
  }

  TStreamPack& FTarget;
  TImportJournal& FJournal;
  const TSoundtrackPack& FPack;
  const TPackPlan& FPlan;
  TScratchSongs FScratch;
  std::vector<TStreamData*> FSamples; // per change of the plan
  std::vector<TStreamData*> FUnbound; // new samples no song has reached yet
};

void ApplyDescription(TStreamData& Sample, const TPackSample& Packed, bool InPlace) {
  if (!Packed.Described) {
    Sample.DescriptionIndex = -1;
    return;
  }
  bool Added = false;
  TStreamDescription& D = InPlace ? *Sample.Description() : OwnDescription(Sample, Added);
  SetFieldText(D.Name, Packed.Name);
  SetFieldText(D.Singer, Packed.Singer);
  SetFieldText(D.Album, Packed.Album);
}

} // namespace

size_t TPackPlan::ChangeCount() const {
  return static_cast<size_t>(
      std::count_if(Changes.begin(), Changes.end(), [](const TPackChange& C) { return C.Changes(); }));
}

TPackPlan PlanPack(const TStreamPack& Target, const TSoundtrackPack& Pack) {
  TPlanner Planner(Target, Pack);
  for (size_t I = 0; I < Pack.Manifest.Samples.size(); ++I)
    Planner.Plan(I);
  return Planner.Result();
}

TPackApplied ApplyPack(TStreamPack& Target, TDefinitionSession& Session, const TSoundtrackPack& Pack) {
  TPackApplied Result;
  Result.Plan = PlanPack(Target, Pack);
  TSongWriter Songs(Target, Session.Imports, Pack, Result.Plan);
  Songs.AddSamples();
  try {
    Songs.Write();
  } catch (...) {
    Songs.RemoveUnbound();
    throw;
  }
  for (size_t I = 0; I < Result.Plan.Changes.size(); ++I) {
    const TPackChange& Change = Result.Plan.Changes[I];
    if (Change.DescriptionChanges)
      ApplyDescription(Songs.SampleOf(I), Pack.Manifest.Samples[Change.Sample], Change.DescriptionInPlace);
    Result.Replaced = Result.Replaced || Change.Song == TPackChange::Replace;
  }
  return Result;
}
