// The original music kept before the first change and put back by a restore, on copies of the demo game:
// exact bytes, once only, the user's "No", a damaged copy, and kills and power cuts at every call of the
// OS seam while keeping and while restoring.

#include "workflows/KeptOriginals.h"
#include "definitions/DefinitionSession.h"
#include "definitions/Preload.h"
#include "platform/FileSystem.h"
#include "tests/fixtures/CrashLoop.h"
#include "tests/fixtures/DemoGame.h"
#include "workflows/JournaledImport.h"

#include <gtest/gtest.h>

using namespace fixtures;
using namespace demogame;

namespace {

class KeptOriginalsTest : public ::testing::Test {
protected:
  std::unique_ptr<TStreamPack> Load() {
    auto Pack = std::make_unique<TStreamPack>(IncludeTrailingPathDelimiter(JoinPath(Game, "audio")));
    Pack->LoadFromFile(Def);
    return Pack;
  }

  // What the window and the command line do to a game: an import of another song into a sample, a save
  // with rebuild, a preload update, a description changed and saved.
  void ChangeEverything(TDefinitionSession& Session) {
    auto Pack = Load();
    std::string Song = Dir.File("song.asf");
    Pack->Archives(2)->Files(0)->SaveToFile(Song);
    ImportThroughJournal(Session.Imports, *Pack->Streams(0)->Samples(0), false, "", Song, Song);
    Pack->SaveWithArchives(Def, true, {}, &Session.Journal);
    Session.Imports.Forget();
    UpdatePreloadFolder(Def, PreloadOf(Game), {});
    SetFieldText(Pack->Descriptions(1)->Name, "Changed");
    Pack->SaveWithArchives(Def, false, {}, &Session.Journal);
  }

  // Every kept file holds the bytes the game had at open; the manifest names all of them.
  void ExpectKeptAsAtOpen(const TKeptOriginals& Kept) {
    std::vector<TKeptFile> Files = Kept.Kept();
    ASSERT_EQ(Files.size(), AtOpen.size());
    for (const TKeptFile& File : Files) {
      std::string Relative = (File.Role == TKeptFile::Preload ? "preload/" : "audio/") + File.Name;
      EXPECT_EQ(ReadFile(Kept.KeptPath(File)), AtOpen.at(Relative)) << Relative;
    }
  }

  // The crash loops run on a small game rather than the demo: each step copies it anew.
  void UseSmallGame() {
    Master = Dir.File("small");
    MakeGame = MakeSmallGame;
    CopyGame(Master, Game, MakeGame);
    AtOpen = MusicOf(Game);
  }

  TempDir Dir;
  std::string Master = Dir.File("master"), Game = Dir.File("game"), Def = DefinitionOf(Game);
  void (*MakeGame)(const std::string&) = demo::MakeDemo;
  TFiles AtOpen = (CopyGame(Master, Game), MusicOf(Game));
};

} // namespace

TEST_F(KeptOriginalsTest, KeptOnceAsAtOpenAndRestoredAfterImportsSavesAndAPreloadUpdate) {
  TDefinitionSession Session(Def);
  Session.Open();
  TKeptOriginals Kept(Def, PreloadOf(Game));
  EXPECT_EQ(Kept.State(), TKeptState::None);
  int64_t Total = 0;
  for (const auto& [Name, Bytes] : AtOpen)
    Total += static_cast<int64_t>(Bytes.size());
  EXPECT_EQ(Kept.SizeToKeep(), Total);
  int64_t LastDone = 0;
  ASSERT_TRUE(Kept.Keep(Session.Journal, [&](int64_t Done, int64_t All) {
    EXPECT_EQ(All, Total);
    EXPECT_GT(Done, LastDone);
    LastDone = Done;
  }));
  EXPECT_EQ(LastDone, Total);
  EXPECT_EQ(Kept.State(), TKeptState::Kept);
  ExpectKeptAsAtOpen(Kept);
  try {
    Kept.Keep(Session.Journal);
    ADD_FAILURE() << "a second copy was made";
  } catch (const Exception& Error) {
    EXPECT_EQ(Error.Message(), "The original music is already kept in \"" + Kept.Folder() + "\"");
  }

  for (int Round = 0; Round < 2; ++Round) { // a restore can be made again
    ChangeEverything(Session);
    TFiles Changed = MusicOf(Game);
    for (const char* Name : {"audio/streams.dat", "audio/frontend.big", "preload/faudio.viv"})
      EXPECT_NE(Changed[Name], AtOpen.at(Name)) << Name;
    ExpectKeptAsAtOpen(Kept);
    Kept.Restore(Session.Journal);
    EXPECT_EQ(MusicOf(Game), AtOpen);
  }

  // A kept copy damaged in place is refused before anything is replaced; one cut short, or a manifest
  // damaged, is no copy at all, and the next keep makes a whole one.
  ChangeEverything(Session);
  const TFiles Changed = MusicOf(Game);
  const std::string Archive = JoinPath(JoinPath(Kept.Folder(), "audio"), "ingame.big");
  Bytes Damaged = ReadFile(Archive);
  Damaged[Damaged.size() / 2] ^= 1;
  WriteFile(Archive, Damaged);
  EXPECT_EQ(Kept.State(), TKeptState::Kept);
  try {
    Kept.Restore(Session.Journal);
    ADD_FAILURE() << "a damaged copy was restored";
  } catch (const Exception& Error) {
    EXPECT_EQ(Error.Message(), "The kept copy of ingame.big is damaged: \"" + Archive + "\"");
  }
  EXPECT_EQ(MusicOf(Game), Changed);
  EXPECT_TRUE(Dir.Leftovers().empty());
  for (const std::string& Broken : {Archive, JoinPath(Kept.Folder(), "kept.manifest")}) {
    Bytes Short = ReadFile(Broken);
    Short.pop_back();
    WriteFile(Broken, Short);
    EXPECT_EQ(Kept.State(), TKeptState::None) << Broken;
    Session.Close();
    Session.Open();
    ASSERT_TRUE(Kept.Keep(Session.Journal));
    EXPECT_EQ(ReadFile(Kept.KeptPath(Kept.Kept()[0])), Changed.at("audio/streams.dat"));
  }
  Session.Close();
  EXPECT_TRUE(Dir.Leftovers().empty());
}

TEST_F(KeptOriginalsTest, NoIsRememberedInTheFolderUntilAKeep) {
  TDefinitionSession Session(Def);
  Session.Open();
  TKeptOriginals Kept(Def, PreloadOf(Game));
  Kept.Decline();
  EXPECT_EQ(Kept.State(), TKeptState::Declined);
  EXPECT_EQ(TKeptOriginals(Def, "").State(), TKeptState::Declined) << "read from the folder, nowhere else";
  EXPECT_THROW(Kept.Restore(Session.Journal), Exception);
  ASSERT_TRUE(Kept.Keep(Session.Journal));
  EXPECT_EQ(Kept.State(), TKeptState::Kept);
  EXPECT_FALSE(FileExists(JoinPath(Kept.Folder(), "declined.txt")));
  Session.Close();

  // A cancelled keep leaves nothing kept and nothing behind. (The game is copied anew while no session
  // holds its lock file, which Windows cannot delete while it is open.)
  CopyGame(Master, Game);
  TDefinitionSession Again(Def);
  Again.Open();
  std::atomic<bool> Cancel{false};
  ASSERT_FALSE(Kept.Keep(
      Again.Journal, [&](int64_t, int64_t) { Cancel = true; }, &Cancel));
  EXPECT_EQ(Kept.State(), TKeptState::None);
  EXPECT_FALSE(Again.Journal.Active());
  EXPECT_TRUE(Dir.Leftovers().empty());
  Again.Close();
}

#ifndef _WIN32
// Killed, or the power cut, at every call of the seam while keeping: no copy ever passes for complete
// unless it is, the game's files never change, and after the next open a keep makes a whole copy.
TEST_F(KeptOriginalsTest, AKeepStoppedAtAnyCallLeavesNoCopyThatPassesForWhole) {
  UseSmallGame();
  TKeptOriginals Kept(Def, PreloadOf(Game));
  int Deaths = 0;
  for (CrashKind Kind : {CrashKind::Kill, CrashKind::PowerDrop, CrashKind::PowerTear})
    Deaths += RunCrashLoop(
        Kind, [&] { CopyGame(Master, Game, MakeGame); },
        [&] {
          TDefinitionSession Session(Def);
          Session.Open();
          Kept.Keep(Session.Journal);
          Session.Close();
        },
        [&](int) {
          if (Kept.State() == TKeptState::Kept)
            ExpectKeptAsAtOpen(Kept);
          TDefinitionSession Session(Def);
          Session.Open();
          EXPECT_EQ(MusicOf(Game), AtOpen);
          if (Kept.State() != TKeptState::Kept) {
            EXPECT_TRUE(Kept.Keep(Session.Journal));
          }
          ExpectKeptAsAtOpen(Kept);
          Session.Close();
          EXPECT_TRUE(Dir.Leftovers().empty()) << Dir.Leftovers()[0];
        });
  std::cout << "[ crashes  ] " << Deaths << " deaths while keeping, each recovered\n";
}

// The same while restoring: after the next open every file is as before the restore, or every file is
// as kept.
TEST_F(KeptOriginalsTest, ARestoreStoppedAtAnyCallIsAllOldOrAllNew) {
  UseSmallGame();
  const std::string Changed = Dir.File("changed");
  {
    TDefinitionSession Session(Def);
    Session.Open();
    TKeptOriginals(Def, PreloadOf(Game)).Keep(Session.Journal);
    ChangeEverything(Session);
    Session.Close();
  }
  std::filesystem::copy(Game, Changed, std::filesystem::copy_options::recursive);
  const TFiles Before = MusicOf(Game);
  TKeptOriginals Kept(Def, PreloadOf(Game));
  int Deaths = 0;
  for (CrashKind Kind : {CrashKind::Kill, CrashKind::PowerDrop, CrashKind::PowerTear})
    Deaths += RunCrashLoop(
        Kind, [&] { CopyGame(Changed, Game, MakeGame); },
        [&] {
          TDefinitionSession Session(Def);
          Session.Open();
          Kept.Restore(Session.Journal);
          Session.Close();
        },
        [&](int) {
          TDefinitionSession Session(Def);
          Session.Open();
          TFiles Now = MusicOf(Game);
          EXPECT_TRUE(Now == Before || Now == AtOpen);
          ExpectKeptAsAtOpen(Kept);
          Session.Close();
          EXPECT_TRUE(Dir.Leftovers().empty()) << Dir.Leftovers()[0];
        });
  std::cout << "[ crashes  ] " << Deaths << " deaths while restoring, each recovered\n";
}
#endif
