#include "workflows/SoundtrackExport.h"

#include "archive/uEAStream.h"
#include "base/Exceptions.h"
#include "base/Paths.h"
#include "base/Streams.h"
#include "base/Text.h"
#include "platform/FileSystem.h"
#include "workflows/OrderedJobs.h"
#include "workflows/SongFiles.h"
#include "workflows/SoundtrackPack.h"
#include "workflows/TagDescriptions.h"

#include <algorithm>
#include <map>
#include <set>

namespace {

constexpr size_t kLongestStem = 120;

std::string UpperAscii(std::string Text) {
  for (char& C : Text)
    if (C >= 'a' && C <= 'z')
      C = static_cast<char>(C - 'a' + 'A');
  return Text;
}

bool IsDeviceName(const std::string& Stem) {
  // Windows takes these as devices whatever their extension.
  std::string Upper = UpperAscii(Stem.substr(0, Stem.find('.')));
  while (!Upper.empty() && Upper.back() == ' ')
    Upper.pop_back();
  static const std::set<std::string> Devices = {"CON", "PRN", "AUX", "NUL"};
  if (Devices.count(Upper) != 0)
    return true;
  return Upper.size() == 4 && (Upper.rfind("COM", 0) == 0 || Upper.rfind("LPT", 0) == 0) && Upper[3] >= '1' &&
         Upper[3] <= '9';
}

} // namespace

std::string SongTitle(const TSongTags& Tags) {
  if (Tags.Title.empty())
    return "";
  return Tags.Artist.empty() ? Tags.Title : Tags.Artist + " - " + Tags.Title;
}

namespace {

std::string PlaylistText(const TSoundtrackPlan& Plan, const TSoundtrackPlaylist& List,
                         const std::vector<bool>& Present) {
  std::string Text = "#EXTM3U\r\n";
  for (size_t Song : List.Songs) {
    if (!Present[Song])
      continue;
    const TSoundtrackSong& S = Plan.Songs[Song];
    std::string Shown = SongTitle(S.Tags);
    if (!Shown.empty())
      Text += "#EXTINF:-1," + Utf8FromWide(AnsiToWide(Shown)) + "\r\n";
    Text += Utf8FromWide(platform::FileNameToWide(S.Name)) + "\r\n";
  }
  return Text;
}

// Writes Text into Path whole: beside it first, then in its place.
void WriteWhole(const std::string& Path, const std::string& Text) {
  const std::string Scratch = Path + ".~part";
  try {
    TFileStream File(Scratch, TFileAccess::Create);
    File.WriteBuffer(Text.data(), Text.size());
    File.Flush();
  } catch (...) {
    DeleteIfPresent(Scratch);
    throw;
  }
  if (int Error = platform::ReplaceFile(Scratch, Path)) {
    DeleteIfPresent(Scratch);
    throw EFCreateError(Path, Error);
  }
}

} // namespace

std::string SafeFileStem(const std::string& Text) {
  std::string Stem;
  for (char C : Text)
    Stem += static_cast<unsigned char>(C) < 32 || std::string("\\/:*?\"<>|").find(C) != std::string::npos
                ? '_'
                : C;
  if (Stem.size() > kLongestStem)
    Stem.resize(kLongestStem);
  while (!Stem.empty() && (Stem.back() == '.' || Stem.back() == ' '))
    Stem.pop_back();
  if (Stem.empty() || IsDeviceName(Stem))
    Stem = "_" + Stem;
  return Stem;
}

TSoundtrackPlan PlanSoundtrack(const TStreamPack& Pack, const TConverterFormat& Format, TSongNames Names,
                               std::optional<int32_t> Stream) {
  if (Stream && (*Stream < 0 || *Stream >= Pack.StreamCount()))
    throw Exception("No stream " + std::to_string(*Stream));
  TSoundtrackPlan Plan;
  std::map<const TEAStreamFile*, size_t> Known;
  std::set<std::string> Taken; // names in capitals: Windows sees "A.flac" and "a.flac" as one
  for (int32_t S = 0; S < Pack.StreamCount(); ++S) {
    if (Stream && S != *Stream)
      continue;
    const TEAMusicStream& Music = *Pack.Streams(S);
    TSoundtrackPlaylist List{"Stream " + std::to_string(S) + ".m3u8", {}};
    for (int32_t I = 0; I < Music.SampleCount(); ++I) {
      const TStreamData& Sample = *Music.Samples(I);
      TEAStreamFile* File = EntryOfSample(Sample);
      if (File == nullptr)
        continue;
      auto Found = Known.find(File);
      if (Found == Known.end()) {
        TSoundtrackSong Song{File, "", TagsOf(Sample)};
        std::string Described = Names == TSongNames::Description ? SongTitle(Song.Tags) : "";
        std::string Stem =
            SafeFileStem(Described.empty() ? ChangeFileExt(ExtractFileName(File->Name), "") : Described);
        Song.Name = Stem + Format.Extension;
        for (int N = 2; Taken.count(UpperAscii(Song.Name)) != 0; ++N)
          Song.Name = Stem + " (" + std::to_string(N) + ")" + Format.Extension;
        Taken.insert(UpperAscii(Song.Name));
        Found = Known.emplace(File, Plan.Songs.size()).first;
        Plan.Songs.push_back(std::move(Song));
      }
      List.Songs.push_back(Found->second);
    }
    if (!List.Songs.empty())
      Plan.Playlists.push_back(std::move(List));
  }
  return Plan;
}

std::vector<std::string> ExistingFiles(const TSoundtrackPlan& Plan, const std::string& Folder) {
  std::vector<std::string> Names;
  for (const TSoundtrackSong& Song : Plan.Songs)
    if (platform::IsFile(JoinPath(Folder, Song.Name)))
      Names.push_back(Song.Name);
  for (const TSoundtrackPlaylist& List : Plan.Playlists)
    if (platform::IsFile(JoinPath(Folder, List.Name)))
      Names.push_back(List.Name);
  return Names;
}

size_t TSoundtrackResult::WrittenCount() const {
  return static_cast<size_t>(std::count_if(Songs.begin(), Songs.end(), [](const TSoundtrackSongResult& S) {
    return S.State == TSoundtrackSongResult::Written;
  }));
}

TSoundtrackResult ExportSoundtrack(const TSoundtrackPlan& Plan, const std::string& Folder,
                                   TConverter& Converter, const TConverterFormat& Format,
                                   const TSoundtrackOptions& Options) {
  if (!platform::IsFolder(Folder))
    if (int Error = platform::CreateFolder(Folder))
      throw EFCreateError(Folder, Error);
  const size_t Count = Plan.Songs.size();
  TSoundtrackResult Result;
  Result.Songs.resize(Count);
  std::vector<std::string> Extracted(Count);
  std::vector<TConversion> Conversions(Count);
  TOrderedJobs Jobs;
  Jobs.Prepare = [&](size_t I) {
    // The archives are read here, on the calling thread, one entry at a time.
    Extracted[I] = ChangeFileExt(MakeTempFileName("~asf"), ".asf");
    try {
      Plan.Songs[I].File->SaveToFile(Extracted[I]);
    } catch (...) {
      DeleteIfPresent(Extracted[I]);
      throw;
    }
  };
  Jobs.Work = [&](size_t I) {
    if (Options.SongStarted)
      Options.SongStarted(I);
    Conversions[I] =
        ConvertInPlaceOf(Converter, Format, platform::FileNameToWide(Extracted[I]),
                         platform::FileNameToWide(JoinPath(Folder, Plan.Songs[I].Name)), Plan.Songs[I].Tags);
  };
  Jobs.Finish = [&](size_t I) {
    DeleteIfPresent(Extracted[I]);
    TSoundtrackSongResult& Song = Result.Songs[I];
    Song.State = Conversions[I].Made ? TSoundtrackSongResult::Written : TSoundtrackSongResult::Failed;
    Song.Failure = Conversions[I].Reason;
    if (Options.SongDone)
      Options.SongDone(Song, I, Count);
  };
  Jobs.Discard = [&](size_t I) { DeleteIfPresent(Extracted[I]); };
  const unsigned Workers = Options.Workers != 0 ? Options.Workers : ProcessorCount();
  Result.Cancelled = !RunOrderedJobs(Count, Workers, Jobs, Options.Cancel);

  std::vector<bool> Present(Count);
  for (size_t I = 0; I < Count; ++I)
    Present[I] = platform::IsFile(JoinPath(Folder, Plan.Songs[I].Name));
  for (const TSoundtrackPlaylist& List : Plan.Playlists)
    WriteWhole(JoinPath(Folder, List.Name), PlaylistText(Plan, List, Present));
  return Result;
}
