// Soundtrack packs: exported after a batch on one copy of the demo game and applied to a fresh copy; a
// pack of another shape applied in part; damaged packs refused, each with its reason.

#include "workflows/SoundtrackPack.h"
#include "base/Records.h"
#include "converter/formats/EAStreamWriter.h"
#include "converter/formats/WaveWriter.h"
#include "platform/Faults.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "tests/converter/Signals.h"
#include "tests/fixtures/DemoGame.h"
#include "workflows/BatchImport.h"
#include "workflows/KeptOriginals.h"

#include <gtest/gtest.h>

using namespace fixtures;
using namespace demogame;

namespace {

std::unique_ptr<TStreamPack> Load(const std::string& Game) {
  auto Pack = std::make_unique<TStreamPack>(IncludeTrailingPathDelimiter(JoinPath(Game, "audio")));
  Pack->LoadFromFile(DefinitionOf(Game));
  return Pack;
}

Bytes SongOf(const TStreamData& Sample) {
  TEAStreamFile* File = Sample.StreamFile();
  if (File == nullptr)
    return {};
  TMemoryStream Data;
  File->SaveToStream(Data);
  return Data.Bytes();
}

// A short song in the game's format; Hz tells songs apart.
Bytes EASong(double Hz, size_t Frames = 4000) {
  return sx::WriteEAStream(sxtest::Sine(22050, Frames, Hz, 0.4), sx::TEACodec::EAXA);
}

// The pack of Manifest with Songs as its songs 1, 2, ..., each song's digest taken from its bytes.
Bytes PackOf(TPackManifest Manifest, const std::vector<Bytes>& Songs) {
  std::vector<BigfEntry> Entries = {{"manifest", {}}};
  for (size_t I = 0; I < Songs.size(); ++I) {
    Manifest.Songs[I].Digest = {static_cast<uint32_t>(Songs[I].size()),
                                Crc32(Songs[I].data(), Songs[I].size())};
    Entries.push_back({Manifest.Songs[I].Entry, Songs[I]});
  }
  Entries[0].Data = PackManifestBytes(Manifest);
  return MakeBigf(Entries);
}

std::string DescriptionOf(const TStreamData& Sample) {
  if (Sample.DescriptionIndex < 0)
    return "(none)";
  const TStreamDescription& D = *Sample.Description();
  return FieldText(D.Singer) + "|" + FieldText(D.Name) + "|" + FieldText(D.Album);
}

// What a player hears and reads: per stream, per sample, the song's bytes, where the sample starts in
// them, and its description.
struct TSampleMusic {
  Bytes Song;
  uint32_t Start = 0;
  std::string Description;
  bool operator==(const TSampleMusic&) const = default;
};
using TMusic = std::vector<std::vector<TSampleMusic>>;

TMusic MusicOfPack(const TStreamPack& Pack) {
  TMusic Music(static_cast<size_t>(Pack.StreamCount()));
  for (int32_t S = 0; S < Pack.StreamCount(); ++S)
    for (int32_t I = 0; I < Pack.Streams(S)->SampleCount(); ++I) {
      const TStreamData& Sample = *Pack.Streams(S)->Samples(I);
      TEAStreamFile* File = Sample.StreamFile();
      Music[static_cast<size_t>(S)].push_back(
          {SongOf(Sample), File ? Sample.FileOffset - File->Offset : 0, DescriptionOf(Sample)});
    }
  return Music;
}

class SoundtrackPackTest : public ::testing::Test {
protected:
  // Applies the pack at Path to Game through a session, keeping the originals first, and saves.
  TPackApplied Apply(const std::string& Game, const std::string& Path) {
    auto Packed = ReadPack(Path);
    TDefinitionSession Session(DefinitionOf(Game));
    Session.Open();
    TKeptOriginals(DefinitionOf(Game), PreloadOf(Game)).Keep(Session.Journal);
    auto Pack = Load(Game);
    TPackApplied Applied = ApplyPack(*Pack, Session, *Packed);
    Pack->SaveWithArchives(Session.Path(), Applied.Replaced, {}, &Session.Journal);
    Session.Imports.Forget();
    Session.Close();
    return Applied;
  }

  TempDir Dir;
  const std::string Master = Dir.File("master");
  TSystemConverterProcess Runner{platform::ProgramFolder()};
  TConverter Converter{Runner};
};

} // namespace

TEST_F(SoundtrackPackTest, APackOfABatchGivesAFreshCopyTheSameMusic) {
  const std::string Source = Dir.File("source");
  CopyGame(Master, Source);
  std::vector<std::string> Songs;
  for (int I = 0; I < 4; ++I) {
    Songs.push_back(Dir.File("song" + std::to_string(I) + ".wav"));
    WriteFile(Songs.back(), sx::WriteWave(sxtest::Sine(22050, 11025, 220.0 * (I + 1), 0.3)));
  }
  {
    TDefinitionSession Session(DefinitionOf(Source));
    Session.Open();
    TKeptOriginals(DefinitionOf(Source), PreloadOf(Source)).Keep(Session.Journal);
    auto Pack = Load(Source);
    // Stream 1 has five samples: from sample 3, two are replaced and two added; description 0, which two
    // samples share, is renamed.
    TBatchResult Batch = ImportBatch(*Pack, Session, PlanBatch(*Pack, {1, 3, ""}, Songs), Converter, {});
    ASSERT_EQ(Batch.ImportedCount(), 4u);
    SetFieldText(Pack->Descriptions(0)->Name, "Renamed");
    Pack->SaveWithArchives(Session.Path(), true, {}, &Session.Journal);
    Session.Imports.Forget();
    Session.Close();
  }
  auto Changed = Load(Source);
  const TMusic Wanted = MusicOfPack(*Changed);

  // The samples that differ from the original game, found here by their bytes.
  std::vector<std::pair<int32_t, int32_t>> Differing;
  {
    const TMusic Original = MusicOfPack(*Load(Master));
    for (size_t S = 0; S < Wanted.size(); ++S)
      for (size_t I = 0; I < Wanted[S].size(); ++I)
        if (I >= Original[S].size() || !(Original[S][I] == Wanted[S][I]))
          Differing.push_back({static_cast<int32_t>(S), static_cast<int32_t>(I)});
  }
  ASSERT_GE(Differing.size(), 6u);

  for (bool AgainstOriginals : {true, false}) {
    SCOPED_TRACE(AgainstOriginals ? "against the kept originals" : "every sample");
    const std::string Path = Dir.File("songs.orvikpack");
    auto Originals = TKeptOriginals(DefinitionOf(Source), "").LoadKeptDefinition();
    ASSERT_NE(Originals, nullptr);
    TPackExportOptions Options;
    Options.Converter = AgainstOriginals ? &Converter : nullptr;
    TPackExport Export = ExportPack(*Changed, AgainstOriginals ? Originals.get() : nullptr, Path, Options);
    EXPECT_TRUE(Export.Unbound.empty());
    std::vector<std::pair<int32_t, int32_t>> Exported;
    for (const TPackSample& Sample : Export.Manifest.Samples) {
      Exported.push_back({Sample.Stream, Sample.Position});
      EXPECT_EQ(Sample.Loudness.has_value(), AgainstOriginals);
    }
    if (AgainstOriginals)
      EXPECT_EQ(Exported, Differing);
    else
      EXPECT_EQ(Exported.size(), Wanted[0].size() + Wanted[1].size() + Wanted[2].size() + Wanted[3].size());

    const std::string Target = Dir.File("target");
    CopyGame(Master, Target);
    TPackApplied Applied = Apply(Target, Path);
    EXPECT_TRUE(Applied.Plan.Unmatched.empty());
    EXPECT_EQ(MusicOfPack(*Load(Target)), Wanted);
    EXPECT_EQ(ReadFile(DefinitionOf(Target)), ReadFile(DefinitionOf(Source)));
    TPackPlan Again = PlanPack(*Load(Target), *ReadPack(Path));
    EXPECT_EQ(Again.ChangeCount(), 0u) << "applied twice changes nothing more";
    EXPECT_EQ(Again.Changes.size(), Exported.size());
  }
  EXPECT_TRUE(Dir.Leftovers().empty());
  EXPECT_TRUE(Dir.ScratchFiles().empty());
}

TEST_F(SoundtrackPackTest, APackOfAnotherShapeAppliesWhatFitsAndListsTheRest) {
  const std::string Game = Dir.File("game");
  CopyGame(Master, Game);
  const TMusic Before = MusicOfPack(*Load(Game));
  ASSERT_EQ(Before.size(), 4u);
  const int32_t Count = static_cast<int32_t>(Before[1].size());
  // The first sample of stream 0 shares its entry with a sample of stream 2, which the pack leaves alone.
  ASSERT_EQ(Before[2][3].Song, Before[0][0].Song);

  const Bytes Song = EASong(500);
  TPackManifest Manifest;
  Manifest.Songs = {{"songs/1.asf", "nosuch.big", "extra.asf", {}}};
  Manifest.Samples = {{0, 0, 0, 0, true, "N", "S", "A", -14.5},
                      {1, Count, 0, 0, true, "New", "", "", {}},
                      {1, Count + 3, 0, 0, false, "", "", "", {}},
                      {7, 0, 0, 0, false, "", "", "", {}}};
  const std::string Path = Dir.File("other.orvikpack");
  WriteFile(Path, PackOf(Manifest, {Song}));
  EXPECT_EQ(ReadPack(Path)->Manifest.Samples[0].Loudness, -14.5);

  TPackApplied Applied = Apply(Game, Path);
  ASSERT_EQ(Applied.Plan.Unmatched.size(), 2u);
  EXPECT_EQ(Applied.Plan.Unmatched[0].Reason, "stream 1 has " + std::to_string(Count + 1) +
                                                  " samples: position " + std::to_string(Count + 3) +
                                                  " is beyond its end");
  EXPECT_EQ(Applied.Plan.Unmatched[1].Reason, "the definition has no stream 7");
  ASSERT_EQ(Applied.Plan.Changes.size(), 2u);
  EXPECT_EQ(Applied.Plan.Changes[0].Song, TPackChange::Add) << "the shared entry is not replaced";
  EXPECT_EQ(Applied.Plan.Changes[0].EntryName, "extra.asf");

  TMusic After = MusicOfPack(*Load(Game));
  EXPECT_EQ(After[0][0], (TSampleMusic{Song, 0, "S|N|A"}));
  EXPECT_EQ(After[2], Before[2]);
  ASSERT_EQ(After[1].size(), Before[1].size() + 1);
  EXPECT_EQ(After[1].back(), (TSampleMusic{Song, 0, "|New|"}));
  EXPECT_EQ(After[3], Before[3]);
  EXPECT_TRUE(Dir.Leftovers().empty());
}

// A sample that starts inside an entry it shares with another sample: a pack that gives both the same new
// song, each at its own place in it, replaces the entry in place, and each keeps its own start.
TEST_F(SoundtrackPackTest, ASampleInsideASharedEntryKeepsItsStartWhenTheEntryIsReplaced) {
  const std::string Game = Dir.File("game");
  CopyGame(Master, Game);
  uint32_t Inside = 0;
  {
    auto Pack = Load(Game);
    TStreamData& Shared = *Pack->Streams(2)->Samples(3);
    ASSERT_EQ(Shared.StreamFile(), Pack->Streams(0)->Samples(0)->StreamFile());
    Inside = 1000;
    ASSERT_LT(Inside, Shared.StreamFile()->Size);
    Shared.FileOffset += Inside;
    Pack->SaveToFile(DefinitionOf(Game));
  }
  const Bytes Song = EASong(330);
  ASSERT_GT(Song.size(), Inside);
  TPackManifest Manifest;
  Manifest.Songs = {{"songs/1.asf", "frontend.big", "new.asf", {}}};
  Manifest.Samples = {{0, 0, 0, 0, false, "", "", "", {}}, {2, 3, 0, Inside, false, "", "", "", {}}};
  const std::string Path = Dir.File("shared.orvikpack");
  WriteFile(Path, PackOf(Manifest, {Song}));

  TPackApplied Applied = Apply(Game, Path);
  ASSERT_EQ(Applied.Plan.Changes.size(), 2u);
  EXPECT_EQ(Applied.Plan.Changes[0].Song, TPackChange::Replace);
  EXPECT_EQ(Applied.Plan.Changes[1].Song, TPackChange::Follows);
  TMusic After = MusicOfPack(*Load(Game));
  EXPECT_EQ(After[0][0], (TSampleMusic{Song, 0, After[0][0].Description}));
  EXPECT_EQ(After[2][3], (TSampleMusic{Song, Inside, After[2][3].Description}));
}

// A pack whose songs or texts cannot be trusted is refused, with its reason, before any file of the game
// changes.
TEST_F(SoundtrackPackTest, AHostilePackIsRefusedBeforeAnyFileOfTheGameChanges) {
  const std::string Game = Dir.File("game");
  CopyGame(Master, Game);
  const TFiles Before = MusicOf(Game);
  const Bytes Song = EASong(600);
  const uint32_t Crc = Crc32(Song.data(), Song.size());
  // A new sample of stream 1 and a changed one of stream 0, both taking song 1.
  TPackManifest Manifest;
  Manifest.Songs = {{"songs/1.asf", "ingame.big", "new.asf", {static_cast<uint32_t>(Song.size()), Crc}}};
  Manifest.Samples = {{0, 0, 0, 0, true, "N", "S", "A", {}}, {1, 5, 0, 0, false, "", "", "", {}}};
  auto Packed = [&](auto Change, const Bytes& Data) {
    TPackManifest M = Manifest;
    Change(M);
    return MakeBigf({{"manifest", PackManifestBytes(M)}, {"songs/1.asf", Data}});
  };
  auto Same = [](TPackManifest&) {};
  auto Many = [](TPackManifest& M) { M.Songs.resize(kMaxPackSongs + 1, M.Songs[0]); };
  // As a version 1 pack, whose song is checked as an EA stream only.
  const Bytes UndigestedPattern = [&] {
    Bytes First = PackManifestBytes(Manifest);
    const size_t Digest = 20 + 15 + 14 + 11;
    First.erase(First.begin() + static_cast<std::ptrdiff_t>(Digest),
                First.begin() + static_cast<std::ptrdiff_t>(Digest + 8));
    First[8] = 1;
    First.resize(First.size() - 4);
    const uint32_t Sealed = Crc32(First.data(), First.size());
    for (int I = 0; I < 4; ++I)
      First.push_back(static_cast<uint8_t>(Sealed >> (8 * I)));
    return MakeBigf({{"manifest", First}, {"songs/1.asf", Pattern(Song.size(), 7)}});
  }();
  struct TCase {
    const char* What;
    Bytes Pack;
    std::string Reason; // the message starts with it
  };
  const TCase Cases[] = {
      {"empty song", Packed([](TPackManifest& M) { M.Songs[0].Digest = {}; }, {}),
       "the song songs/1.asf is empty"},
      {"wrong checksum", Packed([](TPackManifest& M) { M.Songs[0].Digest.Crc ^= 1; }, Song),
       "the song songs/1.asf does not match its checksum in the manifest"},
      {"wrong size", Packed([](TPackManifest& M) { ++M.Songs[0].Digest.Size; }, Song),
       "the song songs/1.asf is not of the size the manifest gives"},
      {"not an EA stream",
       [&] {
         Bytes Other = Pattern(Song.size(), 7);
         return Packed([&](TPackManifest& M) { M.Songs[0].Digest.Crc = Crc32(Other.data(), Other.size()); },
                       Other);
       }(),
       "the song songs/1.asf is not an EA stream the game can read (Not an EA stream)"},
      {"cut-off EA stream",
       [&] {
         Bytes Cut(Song.begin(), Song.end() - 40);
         return Packed(
             [&](TPackManifest& M) {
               M.Songs[0].Digest = {static_cast<uint32_t>(Cut.size()), Crc32(Cut.data(), Cut.size())};
             },
             Cut);
       }(),
       "the song songs/1.asf is not an EA stream the game can read ("},
      {"version 1, not an EA stream", UndigestedPattern,
       "the song songs/1.asf is not an EA stream the game can read"},
      {"escape in a description", Packed([](TPackManifest& M) { M.Samples[0].Name = "N\x1B[2J"; }, Song),
       "a description text holds a control character"},
      {"line break in a description", Packed([](TPackManifest& M) { M.Samples[0].Singer = "S\r\nT"; }, Song),
       "a description text holds a control character"},
      {"too many songs", Packed(Many, Song), "more than " + std::to_string(kMaxPackSongs) + " songs"},
      {"too many samples",
       Packed([](TPackManifest& M) { M.Samples.resize(kMaxPackSamples + 1, M.Samples[1]); }, Song),
       "more than " + std::to_string(kMaxPackSamples) + " samples"},
  };
  const std::string Path = Dir.File("hostile.orvikpack");
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.What);
    WriteFile(Path, Case.Pack);
    try {
      Apply(Game, Path);
      ADD_FAILURE() << "applied";
    } catch (const Exception& Error) {
      EXPECT_EQ(Error.Message().rfind("The soundtrack pack is damaged: " + Case.Reason, 0), 0u)
          << Error.Message();
    }
    EXPECT_EQ(MusicOf(Game), Before);
  }
  WriteFile(Path, Packed(Same, Song));
  EXPECT_EQ(Apply(Game, Path).Plan.ChangeCount(), 2u) << "the pack the cases damage applies";
  EXPECT_NE(MusicOf(Game), Before);
}

// The new entries that a pack adds to one archive are written in one rebuild of it, which a discard
// undoes as it undoes one add.
TEST_F(SoundtrackPackTest, APacksNewSongsForOneArchiveAreAddedInOneRebuild) {
  const std::string Game = Dir.File("game");
  CopyGame(Master, Game);
  const TFiles Before = MusicOf(Game);
  const int32_t Count = Load(Game)->Streams(1)->SampleCount();
  // The moves of files while a pack that appends Songs samples to stream 1, each a song of its own, is
  // applied; then the change is discarded.
  auto MovesToApply = [&](int Songs) {
    TPackManifest Manifest;
    std::vector<Bytes> Data;
    for (int I = 0; I < Songs; ++I) {
      Manifest.Songs.push_back({"songs/" + std::to_string(I + 1) + ".asf", "ingame.big", "new.asf", {}});
      Manifest.Samples.push_back({1, Count + I, I, 0, false, "", "", "", {}});
      Data.push_back(EASong(300 + 50 * I));
    }
    const std::string Path = Dir.File("new.orvikpack");
    WriteFile(Path, PackOf(Manifest, Data));
    auto Packed = ReadPack(Path);
    TDefinitionSession Session(DefinitionOf(Game));
    Session.Open();
    auto Pack = Load(Game);
    platform::ClearFaults();
    TPackApplied Applied = ApplyPack(*Pack, Session, *Packed);
    const int64_t Moves = platform::FaultCallCount(platform::FaultKind::Move);
    EXPECT_EQ(Applied.Plan.ChangeCount(), static_cast<size_t>(Songs));
    TMusic Music = MusicOfPack(*Pack);
    for (int I = 0; I < Songs; ++I)
      EXPECT_EQ(Music[1][static_cast<size_t>(Count + I)].Song, Data[static_cast<size_t>(I)]) << I;
    Session.Close();
    EXPECT_EQ(MusicOf(Game), Before) << "discarded";
    return Moves;
  };
  const int64_t One = MovesToApply(1);
  EXPECT_GT(One, 0);
  EXPECT_EQ(MovesToApply(4), One);
}

// Every damage, each with the reason it is refused for; a damaged manifest is refused before anything
// is reserved from its counts; and every prefix of a valid pack is refused.
TEST(SoundtrackPackReader, DamagedPacksAreRefusedWithTheirReason) {
  TempDir Dir;
  const Bytes Song = EASong(440, 100);
  const TPackManifest Valid = {true,
                               {{"songs/1.asf",
                                 "frontend.big",
                                 "theme.asf",
                                 {static_cast<uint32_t>(Song.size()), Crc32(Song.data(), Song.size())}}},
                               {{0, 1, 0, 4, true, "N", "S", "A", -20.25}}};
  // Seals manifest bytes whose fields were patched with a new checksum.
  auto Resealed = [](Bytes B) {
    B.resize(B.size() - 4);
    uint32_t Crc = Crc32(B.data(), B.size());
    for (int I = 0; I < 4; ++I)
      B.push_back(static_cast<uint8_t>(Crc >> (8 * I)));
    return B;
  };
  auto Patched = [&](size_t At, std::initializer_list<uint8_t> Values) {
    Bytes B = PackManifestBytes(Valid);
    std::copy(Values.begin(), Values.end(), B.begin() + static_cast<std::ptrdiff_t>(At));
    return Resealed(B);
  };
  auto With = [&](auto Change) {
    TPackManifest M = Valid;
    Change(M);
    return PackManifestBytes(M);
  };
  // Offsets in the valid manifest: 8 magic, 12 flags, 16 song count, 20 the first song's entry text
  // (4 + 11), then its archive and name, its size and CRC; the sample count after them.
  const size_t Digest = 20 + 15 + 16 + 13, SampleCount = Digest + 8, Described = SampleCount + 4 + 16;
  struct TCase {
    const char* What;
    Bytes Manifest;
    std::string Reason;
    bool WithSong = true;
  };
  const TCase Cases[] = {
      {"checksum",
       [&] {
         Bytes B = PackManifestBytes(Valid);
         B[30] ^= 1;
         return B;
       }(),
       "the manifest's checksum does not match"},
      {"magic",
       [&] {
         Bytes B = PackManifestBytes(Valid);
         B[0] = 'X';
         return B;
       }(),
       "no manifest"},
      {"version", Patched(8, {3}), "format version 3 is not known (this editor reads versions 1 and 2)"},
      {"flags", Patched(12, {3}), "unknown flags"},
      {"song count", Patched(16, {0x00, 0x10, 0x00, 0x00}), "the song count exceeds the manifest"},
      {"sample count", Patched(SampleCount, {0x00, 0x40, 0x00, 0x00}),
       "the sample count exceeds the manifest"},
      {"described flag", Patched(Described, {2}), "a sample's description flag is neither 0 nor 1"},
      {"trailing byte",
       [&] {
         Bytes B = PackManifestBytes(Valid);
         B.insert(B.end() - 4, 0);
         return Resealed(B);
       }(),
       "the manifest's length does not match its records"},
      {"climbing name", With([](TPackManifest& M) { M.Songs[0].Name = "../../evil.asf"; }),
       "a song's name is empty, too long or not a name a definition may give"},
      {"drive", With([](TPackManifest& M) { M.Songs[0].Archive = "C:\\game\\a.big"; }),
       "a song's name is empty, too long or not a name a definition may give"},
      {"device", With([](TPackManifest& M) { M.Songs[0].Archive = "nul.viv"; }),
       "a song's name is empty, too long or not a name a definition may give"},
      {"empty name", With([](TPackManifest& M) { M.Songs[0].Name = ""; }),
       "a song's name is empty, too long or not a name a definition may give"},
      {"long text", With([](TPackManifest& M) { M.Samples[0].Album = std::string(64, 'a'); }),
       "a description text is longer than 63 bytes"},
      {"control in a name", With([](TPackManifest& M) { M.Songs[0].Name = "theme\x7F.asf"; }),
       "a song's name is empty, too long or not a name a definition may give"},
      {"song index", With([](TPackManifest& M) { M.Samples[0].Song = 1; }),
       "a sample's stream, position or song is out of range"},
      {"position", With([](TPackManifest& M) { M.Samples[0].Position = kMaxPackIndex + 1; }),
       "a sample's stream, position or song is out of range"},
      {"order", With([](TPackManifest& M) {
         M.Samples.insert(M.Samples.begin(), M.Samples[0]);
         M.Samples[0].Position = 2;
       }),
       "the samples are not in order of stream and position, or one comes twice"},
      {"twice", With([](TPackManifest& M) { M.Samples.push_back(M.Samples[0]); }),
       "the samples are not in order of stream and position, or one comes twice"},
      {"loudness", With([](TPackManifest& M) { M.Samples[0].Loudness = 2000.0; }),
       "a loudness is out of range"},
      {"offset",
       With([&](TPackManifest& M) { M.Samples[0].SongOffset = static_cast<uint32_t>(Song.size()); }),
       "a sample starts outside its song"},
      {"missing song", With([](TPackManifest& M) { M.Songs[0].Entry = "songs/2.asf"; }),
       "the pack holds no song songs/2.asf"},
      {"manifest as song", With([](TPackManifest& M) { M.Songs[0].Entry = "manifest"; }),
       "the pack holds no song manifest"},
      {"no manifest entry", {}, "no manifest", false},
  };
  const std::string Path = Dir.File("pack.orvikpack");
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.What);
    std::vector<BigfEntry> Entries = {{"songs/1.asf", Song}};
    if (Case.WithSong)
      Entries.insert(Entries.begin(), {"manifest", Case.Manifest});
    WriteFile(Path, MakeBigf(Entries));
    try {
      ReadPack(Path);
      ADD_FAILURE() << "read";
    } catch (const Exception& Error) {
      EXPECT_EQ(Error.Message(), "The soundtrack pack is damaged: " + Case.Reason);
    }
  }

  const Bytes Whole = MakeBigf({{"manifest", PackManifestBytes(Valid)}, {"songs/1.asf", Song}});
  WriteFile(Path, Whole);
  const auto Read = ReadPack(Path);
  EXPECT_EQ(PackManifestBytes(Read->Manifest), PackManifestBytes(Valid));
  EXPECT_EQ(Read->Songs[0]->Size, Song.size());

  // Version 1, without the songs' digests: still read, each song given the digest of what the pack holds.
  Bytes First = PackManifestBytes(Valid);
  First.erase(First.begin() + static_cast<std::ptrdiff_t>(Digest),
              First.begin() + static_cast<std::ptrdiff_t>(Digest + 8));
  First[8] = 1;
  WriteFile(Path, MakeBigf({{"manifest", Resealed(First)}, {"songs/1.asf", Song}}));
  const auto Old = ReadPack(Path);
  EXPECT_FALSE(Old->Manifest.Digested);
  EXPECT_EQ(PackManifestBytes(Old->Manifest), PackManifestBytes(Valid));
  for (size_t Length = 0; Length < Whole.size(); ++Length) {
    WriteFile(Path, Bytes(Whole.begin(), Whole.begin() + static_cast<std::ptrdiff_t>(Length)));
    EXPECT_THROW(ReadPack(Path), Exception) << Length;
  }
}
