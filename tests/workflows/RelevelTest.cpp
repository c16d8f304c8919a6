// Songs re-levelled in place with the real converter: on the demo game to the median of its songs, and on a
// game whose songs are stored in every codec the archives hold, to a given target; then read back.

#include "workflows/Relevel.h"
#include "base/Paths.h"
#include "converter/formats/EAStreamReader.h"
#include "converter/formats/EAStreamWriter.h"
#include "converter/formats/WaveWriter.h"
#include "platform/Process.h"
#include "tests/converter/Signals.h"
#include "tests/fixtures/Bigf.h"
#include "tests/fixtures/Definition.h"
#include "tests/fixtures/TestFiles.h"
#include "tools/make-demo/Demo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

using namespace fixtures;

namespace {

class RelevelTest : public ::testing::Test {
protected:
  std::unique_ptr<TStreamPack> Load() {
    auto Pack = std::make_unique<TStreamPack>(IncludeTrailingPathDelimiter(ExtractFilePath(Def)));
    Pack->LoadFromFile(Def);
    return Pack;
  }

  // Every entry of every archive: its bytes by "archive/entry".
  std::map<std::string, Bytes> Entries(const TStreamPack& Pack) const {
    std::map<std::string, Bytes> All;
    for (int32_t A = 0; A < Pack.ArchiveCount(); ++A)
      for (int32_t E = 0; E < Pack.Archives(A)->FileCount(); ++E) {
        TEAStreamFile& File = *Pack.Archives(A)->Files(E);
        File.SaveToFile(Scratch());
        All[ExtractFileName(Pack.Archives(A)->FileName) + "/" + File.Name] = ReadFile(Scratch());
      }
    return All;
  }

  std::string Scratch() const { return Dir.File("entry.asf"); }

  // Re-levels Samples through a session and saves.
  TRelevelResult RelevelAndSave(const std::vector<TSampleRef>& Samples, const TRelevelOptions& Options) {
    TDefinitionSession Session(Def);
    Session.Open();
    auto Pack = Load();
    TRelevelResult Result = RelevelSongs(*Pack, Session, Samples, Converter, Options);
    Pack->SaveWithArchives(Def, true, {}, &Session.Journal);
    Session.Imports.Forget();
    Session.Close();
    return Result;
  }

  // Each song re-levelled or left is at the target now, or quieter with its true peak at the limit; no
  // re-levelled song's encoding passes the limit.
  void ExpectLevelled(const TRelevelResult& Result, const std::map<std::string, Bytes>& After) {
    for (const TRelevelSong& Song : Result.Songs) {
      if (Song.State == TRelevelSong::Failed || !Song.LoudnessBefore)
        continue;
      const std::string Name = ArchiveOf(Song) + "/" + Song.Entry;
      WriteFile(Scratch(), After.at(Name));
      const TMeasureReport Now = Converter.Measure({Scratch()})[0];
      ASSERT_TRUE(Now.Integrated && Now.TruePeak) << Name << ": " << Now.Error;
      SCOPED_TRACE(Name + ": " + std::to_string(*Now.Integrated) + " LUFS, " + std::to_string(*Now.TruePeak) +
                   " dBTP, target " + std::to_string(*Result.Target));
      if (Song.State == TRelevelSong::Relevelled) {
        EXPECT_LE(*Now.TruePeak, -0.9);
      }
      if (std::abs(*Now.Integrated - *Result.Target) > 0.5) {
        EXPECT_TRUE(Song.HeldBack);
        EXPECT_LT(*Now.Integrated, *Result.Target);
        EXPECT_NEAR(*Now.TruePeak, -1, 0.5);
      }
    }
  }

  std::string ArchiveOf(const TRelevelSong& Song) const { return ArchiveNames.at(Song.ArchiveIndex); }

  TempDir Dir;
  std::string Def;
  std::vector<std::string> ArchiveNames;
  TSystemConverterProcess Runner{platform::ProgramFolder()};
  TConverter Converter{Runner};
};

} // namespace

// The first stream, two songs of the replay stream and one of the in-game stream, to the demo's median: every
// song at the target or its peak at the limit, the theme (which the replay stream plays too) re-levelled
// once, every other song the same bytes; a second run finds nothing to change.
TEST_F(RelevelTest, TheDemosSongsComeToTheirMedianAndNoOtherSongChanges) {
  demo::MakeDemo(Dir.File("demo"));
  Def = JoinPath(JoinPath(Dir.File("demo"), "audio"), "streams.dat");
  ArchiveNames = {"frontend.big", "ingame.big", "replay.big"};
  const std::map<std::string, Bytes> Before = Entries(*Load());
  const std::vector<TSampleRef> Chosen = {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {2, 3}, {2, 1}, {2, 2}, {1, 0}};
  std::vector<size_t> Reported;
  TRelevelOptions Options;
  Options.SongDone = [&](const TRelevelSong& Song, size_t I, size_t Count) {
    EXPECT_EQ(Count, 7u);
    EXPECT_NE(Song.State, TRelevelSong::Cancelled);
    Reported.push_back(I);
  };
  const TRelevelResult Result = RelevelAndSave(Chosen, Options);
  ASSERT_TRUE(Result.Target);
  EXPECT_FALSE(Result.Cancelled);
  EXPECT_EQ(Reported, (std::vector<size_t>{0, 1, 2, 3, 4, 5, 6}));
  ASSERT_EQ(Result.Songs.size(), 7u) << "the theme once";
  EXPECT_EQ(Result.Songs[4].Entry, "golazo.asf");
  EXPECT_EQ(Result.Songs[4].Sample, (TSampleRef{2, 1}));
  EXPECT_EQ(Result.CountOf(TRelevelSong::Failed), 0u);
  EXPECT_GE(Result.CountOf(TRelevelSong::Relevelled), 3u) << "the demo's songs are not level";
  for (const TRelevelSong& Song : Result.Songs)
    EXPECT_EQ(Song.Codec, "EA-XA") << Song.Entry;
  EXPECT_TRUE(Dir.Leftovers().empty());
  EXPECT_TRUE(Dir.ScratchFiles().empty());

  auto Pack = Load();
  ForEachSample(*Pack, [](const TStreamData& Sample) { EXPECT_NE(Sample.StreamFile(), nullptr); });
  EXPECT_EQ(Pack->Streams(0)->Samples(0)->StreamFile(), Pack->Streams(2)->Samples(3)->StreamFile());
  const std::map<std::string, Bytes> After = Entries(*Pack);
  ASSERT_EQ(After.size(), Before.size());
  for (const auto& [Name, Bytes] : Before) {
    const auto Song = std::find_if(Result.Songs.begin(), Result.Songs.end(), [&](const TRelevelSong& S) {
      return ArchiveOf(S) + "/" + S.Entry == Name;
    });
    const bool Changed = Song != Result.Songs.end() && Song->State == TRelevelSong::Relevelled;
    EXPECT_EQ(After.at(Name) != Bytes, Changed) << Name;
    if (Changed) {
      EXPECT_EQ(sx::ReadEAStream(After.at(Name)).Frames(), sx::ReadEAStream(Bytes).Frames()) << Name;
    }
  }
  ExpectLevelled(Result, After);

  Options.Target = Result.Target;
  const TRelevelResult Again = RelevelAndSave(Chosen, Options);
  EXPECT_EQ(Again.CountOf(TRelevelSong::Unchanged), 7u);
  EXPECT_TRUE(Entries(*Load()) == After) << "a second run changed a song";
}

// Songs stored in each codec, at their own rates and channel counts, to a given target: each comes back in
// its codec, rate, channels and length; what cannot be read or written again fails with the reason, and
// silence stays. A cancel before the start changes nothing.
TEST_F(RelevelTest, EachSongKeepsItsCodecRateAndLength) {
  struct TCase {
    const char* Entry;
    Bytes Song;
    TRelevelSong::TState State;
    const char* Codec;
    const char* Failure;
  } Cases[] = {
      {"xa.asf", sx::WriteEAStream(sxtest::Chord(44100, 44100 * 2), sx::TEACodec::EAXA),
       TRelevelSong::Relevelled, "EA-XA", ""},
      {"mt.asf",
       sx::WriteEAStream(sxtest::PinkNoise(22050, 22050 * 2, 1, 0.05, 7), sx::TEACodec::MicroTalk10),
       TRelevelSong::Relevelled, "MicroTalk 10:1", ""},
      {"mt5.asf", sx::WriteEAStream(sxtest::Sine(16000, 16000 * 2, 300, 0.7, 2), sx::TEACodec::MicroTalk5),
       TRelevelSong::Relevelled, "MicroTalk 5:1", ""},
      {"s16.asf", sx::WriteEAStream(sxtest::Song(32000, 2), sx::TEACodec::PcmS16LE), TRelevelSong::Relevelled,
       "s16l", ""},
      {"s8.asf", sx::WriteEAStream(sxtest::Sine(11025, 11025 * 2, 500, 0.02, 1), sx::TEACodec::PcmS8),
       TRelevelSong::Relevelled, "s8", ""},
      {"silent.asf", sx::WriteEAStream(sxtest::Silence(22050, 22050, 2), sx::TEACodec::EAXA),
       TRelevelSong::Unchanged, "EA-XA", ""},
      {"wave.asf", sx::WriteWave(sxtest::Sine(22050, 22050 * 2, 440, 0.5)), TRelevelSong::Failed, "PCM",
       "The song is stored as PCM, which the converter does not write"},
      {"broken.asf", Bytes(300, 0x5A), TRelevelSong::Failed, "", "not a known sound format"},
  };
  std::vector<BigfEntry> Songs;
  Definition Game;
  Game.Archives = {"songs.big"};
  Game.Streams = {{}};
  for (const TCase& Case : Cases)
    Songs.push_back({Case.Entry, Case.Song});
  for (size_t I = 0; I < Songs.size(); ++I)
    Game.Streams[0].push_back({BigfDataOffset(Songs, I), 0, -1});
  WriteFile(Dir.File("songs.big"), MakeBigf(Songs));
  Def = Dir.File("streams.dat");
  WriteFile(Def, MakeDefinition(Game));
  ArchiveNames = {"songs.big"};

  const std::map<std::string, Bytes> Before = Entries(*Load());
  std::atomic<bool> Cancel{true};
  TRelevelOptions Options;
  Options.Cancel = &Cancel;
  for (const std::optional<double> Target : {std::optional<double>(), std::optional<double>(-20)}) {
    Options.Target = Target;
    const TRelevelResult Cancelled = RelevelAndSave(SamplesWithSongs(*Load()), Options);
    EXPECT_TRUE(Cancelled.Cancelled);
    EXPECT_EQ(Cancelled.CountOf(TRelevelSong::Cancelled), std::size(Cases));
  }
  EXPECT_TRUE(Entries(*Load()) == Before) << "a cancelled run changed a song";

  Cancel = false;
  const TRelevelResult Result = RelevelAndSave(SamplesWithSongs(*Load()), Options);
  EXPECT_FALSE(Result.Cancelled);
  ASSERT_EQ(Result.Songs.size(), std::size(Cases));
  const std::map<std::string, Bytes> After = Entries(*Load());
  for (size_t I = 0; I < std::size(Cases); ++I) {
    const TCase& Case = Cases[I];
    const TRelevelSong& Song = Result.Songs[I];
    SCOPED_TRACE(Case.Entry);
    EXPECT_EQ(Song.State, Case.State) << Song.Failure;
    EXPECT_EQ(Song.Codec, Case.Codec);
    EXPECT_NE(Song.Failure.find(Case.Failure), std::string::npos) << Song.Failure;
    const Bytes& Now = After.at(std::string("songs.big/") + Case.Entry);
    EXPECT_EQ(Now != Case.Song, Case.State == TRelevelSong::Relevelled);
    if (Case.State != TRelevelSong::Relevelled)
      continue;
    sx::TEAStreamInfo Was, Is;
    const sx::TAudio Old = sx::ReadEAStream(Case.Song, &Was), New = sx::ReadEAStream(Now, &Is);
    EXPECT_EQ(Is.Layout.Codec, Was.Layout.Codec);
    EXPECT_EQ(New.SampleRate, Old.SampleRate);
    EXPECT_EQ(New.Channels, Old.Channels);
    EXPECT_EQ(New.Frames(), Old.Frames());
  }
  ExpectLevelled(Result, After);
  EXPECT_TRUE(Dir.ScratchFiles().empty());
}
