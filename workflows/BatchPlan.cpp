#include "workflows/BatchPlan.h"

#include "base/Exceptions.h"
#include "base/Paths.h"
#include "workflows/SoundtrackPack.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <set>

namespace {

std::string Lowered(std::string Text) {
  std::transform(Text.begin(), Text.end(), Text.begin(), [](unsigned char C) { return std::tolower(C); });
  return Text;
}

std::string Which(int32_t Stream, int32_t Sample) {
  return "Stream " + std::to_string(Stream) + " sample " + std::to_string(Sample);
}

int32_t NamedArchive(const TStreamPack& Pack, const std::string& Name) {
  int32_t Index = FindArchive(Pack, Name);
  if (Index >= 0)
    return Index;
  std::string Known;
  for (int32_t I = 0; I < Pack.ArchiveCount(); ++I)
    Known += (I > 0 ? ", " : "") + ExtractFileName(Pack.Archives(I)->FileName);
  throw Exception("No archive \"" + Name + "\" in the definition (" + Known + ")");
}

// The archive that songs added after the stream's last sample go to.
int32_t ArchiveForAdds(const TStreamPack& Pack, const TBatchTarget& Target) {
  if (!Target.Archive.empty())
    return NamedArchive(Pack, Target.Archive);
  if (Target.AddArchive >= 0) {
    Pack.Archives(Target.AddArchive);
    return Target.AddArchive;
  }
  const TEAMusicStream& Stream = *Pack.Streams(Target.Stream);
  if (Stream.SampleCount() == 0)
    throw Exception("Stream " + std::to_string(Target.Stream) +
                    " has no samples: name the archive that its new songs go to");
  const TStreamData& Last = *Stream.Samples(Stream.SampleCount() - 1);
  Pack.Archives(Last.ArchiveIndex);
  return Last.ArchiveIndex;
}

} // namespace

std::string TEntryNames::Unique(int32_t ArchiveIndex, const std::string& Source) {
  std::set<std::string>& Taken = TakenIn(ArchiveIndex);
  std::string Stem = ChangeFileExt(ExtractFileName(Source), ""), Name = Stem + ".asf";
  for (int N = 2; Taken.count(Lowered(Name)) != 0; ++N)
    Name = Stem + " (" + std::to_string(N) + ").asf";
  Taken.insert(Lowered(Name));
  return Name;
}

std::set<std::string>& TEntryNames::TakenIn(int32_t ArchiveIndex) {
  auto Found = FTaken.find(ArchiveIndex);
  if (Found != FTaken.end())
    return Found->second;
  std::set<std::string>& Taken = FTaken[ArchiveIndex];
  const TEAStream& Archive = *FPack.Archives(ArchiveIndex);
  for (int32_t I = 0; I < Archive.FileCount(); ++I)
    Taken.insert(Lowered(Archive.Files(I)->Name));
  return Taken;
}

int32_t FindArchive(const TStreamPack& Pack, const std::string& Name) {
  for (int32_t I = 0; I < Pack.ArchiveCount(); ++I) {
    const std::string& Path = Pack.Archives(I)->FileName;
    std::string Relative = Path.rfind(Pack.BasePath, 0) == 0 ? Path.substr(Pack.BasePath.size()) : Path;
    if (Lowered(Name) == Lowered(Relative) || Lowered(Name) == Lowered(ExtractFileName(Path)))
      return I;
  }
  return -1;
}

std::optional<TSampleRef> SharerOutside(const TStreamPack& Pack, const TEAStreamFile* Entry,
                                        const std::function<bool(TSampleRef Sample)>& Inside) {
  if (Entry == nullptr)
    return std::nullopt;
  for (int32_t S = 0; S < Pack.StreamCount(); ++S)
    for (int32_t I = 0; I < Pack.Streams(S)->SampleCount(); ++I)
      if (EntryOfSample(*Pack.Streams(S)->Samples(I)) == Entry && !Inside({S, I}))
        return TSampleRef{S, I};
  return std::nullopt;
}

std::vector<TPlannedSong> PlanBatch(const TStreamPack& Pack, const TBatchTarget& Target,
                                    const std::vector<std::string>& Files) {
  const TEAMusicStream& Stream = *Pack.Streams(Target.Stream);
  int32_t Start = Target.Archive.empty() ? Target.StartSample : Stream.SampleCount();
  if (Start < 0 || Start > Stream.SampleCount())
    throw EListError(Start);
  std::optional<int32_t> AddTo; // asked only when a song is added
  if (!Target.Archive.empty() || Start + static_cast<int64_t>(Files.size()) > Stream.SampleCount())
    AddTo = ArchiveForAdds(Pack, Target);
  // The samples whose songs the batch replaces: those of the stream from Start, as far as the files go.
  const int64_t ReplacedEnd =
      std::min<int64_t>(Start + static_cast<int64_t>(Files.size()), Stream.SampleCount());
  auto InBatch = [&](TSampleRef Ref) {
    return Ref.Stream == Target.Stream && Ref.Sample >= Start && Ref.Sample < ReplacedEnd;
  };
  TEntryNames Names(Pack);
  std::set<const TEAStreamFile*> Replaced;
  std::vector<TPlannedSong> Plan;
  for (size_t I = 0; I < Files.size(); ++I) {
    TPlannedSong Song;
    Song.Source = Files[I];
    Song.Stream = Target.Stream;
    Song.Sample = Start + static_cast<int32_t>(I);
    Song.NewSample = Song.Sample >= Stream.SampleCount();
    Song.AsNewFile = Song.NewSample;
    if (Song.NewSample) {
      Song.ArchiveIndex = *AddTo;
    } else {
      const TStreamData& Sample = *Stream.Samples(Song.Sample);
      const TEAStreamFile* File = Sample.StreamFile();
      if (File == nullptr)
        throw Exception(Which(Target.Stream, Song.Sample) + " is bound to no file of its archive");
      Song.ArchiveIndex = Sample.ArchiveIndex;
      Song.SharedWith = SharerOutside(Pack, File, InBatch);
      Song.AsNewFile = !Replaced.insert(File).second || Song.SharedWith;
    }
    if (Song.AsNewFile)
      Song.EntryName = Names.Unique(Song.ArchiveIndex, Song.Source);
    Plan.push_back(Song);
  }
  return Plan;
}
