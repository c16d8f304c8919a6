#include "tools/make-demo/Demo.h"

#include "archive/EACompr.h"
#include "archive/uEAStream.h"
#include "base/Paths.h"
#include "converter/Converter.h"
#include "definitions/uTypes.h"
#include "platform/FileSystem.h"
#include "tools/make-demo/Music.h"

#include <filesystem>
#include <vector>

namespace demo {

namespace {

struct TSong {
  int Archive;
  const char* Entry;
  const char* Name;
  const char* Singer;
  const char* Album;
  TScore Score;
};

const char* const Archives[3] = {"frontend.big", "ingame.big", "replay.big"};

// Steps:                          "1234567890123456"
const std::string FourOnTheFloor = "x...x...x...x...";
const std::string BackBeat = "....x.......x...";
const std::string Eighths = "x.x.x.x.x.x.x.x.";

const TSong Songs[] = {
    {0,
     "theme.asf",
     "Kick Off",
     "The Offside Trap",
     "Season Opener",
     {118, 60, false, "1564", "3-5-8-7-6-5-3-2-", true, FourOnTheFloor, BackBeat, Eighths}},
    {0,
     "menu_loop.asf",
     "Team Sheet",
     "The Offside Trap",
     "Season Opener",
     {100, 62, false, "1451", "", true, "", "", ""}},
    {0,
     "options.asf",
     "Tactics Board",
     "Northern Lights",
     "Floodlit",
     {90, 57, true, "1647", "1.3.5.8-5.3.1---", false, "", "", ""}},
    {0,
     "credits.asf",
     "Final Whistle",
     "Northern Lights",
     "Floodlit",
     {76, 55, false, "1645", "5---3---2---1---", true, "", "", ""}},
    {1,
     "warmup.asf",
     "Warm Up",
     "Derby Day",
     "Terrace Anthems",
     {128, 64, true, "", "", false, FourOnTheFloor, BackBeat, "xxxxxxxxxxxxxxxx"}},
    {1,
     "first_half.asf",
     "First Half",
     "Derby Day",
     "Terrace Anthems",
     {124, 60, false, "1546", "5-5-6-5-8-7-----", true, FourOnTheFloor, BackBeat, Eighths}},
    {1,
     "midfield.asf",
     "Midfield Run",
     "Golden Boot",
     "Extra Time",
     {140, 65, false, "", "1231234534565678", true, "x..x..x.x..x..x.", "....x.......x...", ""}},
    {1,
     "counter.asf",
     "Counter Attack",
     "Golden Boot",
     "Extra Time",
     {150, 58, true, "1476", "", true, "x.x...x.x.x...x.", BackBeat, Eighths}},
    {1,
     "second_half.asf",
     "Second Half",
     "Derby Day",
     "Terrace Anthems",
     {110, 67, false, "4515", "8-7-5-3-4-5-6-5-", false, "", "", Eighths}},
    {2,
     "slow_motion.asf",
     "Slow Motion",
     "Northern Lights",
     "Floodlit",
     {70, 53, true, "1316", "", false, "", "", ""}},
    {2,
     "golazo.asf",
     "Golazo",
     "Golden Boot",
     "Extra Time",
     {132, 62, false, "1154", "8-8-9-8-5---3-5-", true, FourOnTheFloor, "....x..x....x...", Eighths}},
    {2,
     "highlights.asf",
     "Highlights",
     "The Offside Trap",
     "Season Opener",
     {96, 60, false, "", "", true, "x.......x.x.....", BackBeat, "..x...x...x...x."}},
};

// Songs by position, stream by stream. The replay stream also plays the theme and the first half.
const std::vector<std::vector<int>> Streams = {{0, 1, 2, 3}, {4, 5, 6, 7, 8}, {9, 10, 11, 0, 5}, {}};

// Other entries of the preload archives, around the definition.
const char* const PreloadNames[] = {"frontend.fsh", "streams.dat", "speech.cfg"};

std::vector<uint8_t> EncodeSong(const TScore& Score) {
  sx::TCommand Command;
  Command.Kind = sx::TOutputKind::EAStream;
  Command.Codec = sx::TEACodec::EAXA;
  return sx::WriteAudio(Render(Score), Command);
}

// Filler of a preload entry that is not the definition.
std::vector<uint8_t> Filler(const std::string& Name) {
  std::vector<uint8_t> Bytes;
  for (int I = 0; I < 700; ++I)
    Bytes.push_back(static_cast<uint8_t>(Name[I % Name.size()] + I / 7));
  return Bytes;
}

// A new archive at Path holding Entries (name, bytes) in that order.
void WriteArchive(const std::string& Path,
                  const std::vector<std::pair<std::string, std::vector<uint8_t>>>& Entries) {
  TEAStream Archive;
  Archive.SaveToFile(Path);
  Archive.LoadFromFile(Path);
  std::string Scratch = ChangeFileExt(Path, ".~entry");
  for (const auto& [Name, Bytes] : Entries) {
    TMemoryStream(Bytes).SaveToFile(Scratch);
    Archive.AddFile(Scratch, Name);
    Archive.CommitOffsets();
  }
  platform::DeleteFile(Scratch);
}

void WriteMusic(const std::string& AudioFolder) {
  for (int Index = 0; Index < 3; ++Index) {
    std::vector<std::pair<std::string, std::vector<uint8_t>>> Entries;
    for (const TSong& Song : Songs)
      if (Song.Archive == Index)
        Entries.emplace_back(Song.Entry, EncodeSong(Song.Score));
    WriteArchive(JoinPath(AudioFolder, Archives[Index]), Entries);
  }
}

void WriteDefinition(const std::string& AudioFolder, const std::string& FileName) {
  TStreamPack Pack(IncludeTrailingPathDelimiter(AudioFolder));
  for (const char* Name : Archives)
    Pack.AddArchive(Name);
  for (const TSong& Song : Songs)
    Pack.AddDescription(Song.Singer, Song.Album, Song.Name);
  for (const std::vector<int>& Order : Streams) {
    TEAMusicStream* Stream = Pack.AddStream();
    for (int Index : Order) {
      TEAStream* Archive = Pack.Archives(Songs[Index].Archive);
      for (int32_t File = 0; File < Archive->FileCount(); ++File)
        if (Archive->Files(File)->Name == Songs[Index].Entry)
          Stream->AddSample(Archive->Files(File))->DescriptionIndex = Index;
    }
  }
  Pack.SaveToFile(FileName);
}

void WritePreload(const std::string& PreloadFolder, const std::string& DefinitionFile) {
  TMemoryStream Definition;
  Definition.LoadFromFile(DefinitionFile);
  int32_t Size = static_cast<int32_t>(Definition.Size());
  std::vector<uint8_t> Compressed = CompressBuffer(Definition.Memory(), Size);
  Compressed.resize(static_cast<size_t>(Size));
  for (const char* Archive : {"faudio.viv", "gaudio.viv", "gaudiofa.viv"}) {
    std::vector<std::pair<std::string, std::vector<uint8_t>>> Entries;
    for (const char* Name : PreloadNames)
      Entries.emplace_back(Name, std::string(Name) == "streams.dat" ? Compressed
                                                                    : Filler(std::string(Archive) + Name));
    WriteArchive(JoinPath(PreloadFolder, Archive), Entries);
  }
}

} // namespace

void MakeDemo(const std::string& Folder) {
  std::string AudioFolder = JoinPath(Folder, "audio"), PreloadFolder = JoinPath(Folder, "preload");
  std::filesystem::create_directories(AudioFolder);
  std::filesystem::create_directories(PreloadFolder);
  WriteMusic(AudioFolder);
  std::string DefinitionFile = JoinPath(AudioFolder, "streams.dat");
  WriteDefinition(AudioFolder, DefinitionFile);
  WritePreload(PreloadFolder, DefinitionFile);
}

} // namespace demo
