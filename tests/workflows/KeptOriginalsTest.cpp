// The original music kept before the first change and put back by a restore, on copies of the demo game:
// exact bytes, once only, the user's "No", damaged and hostile kept folders (set aside, never emptied, never
// restored from), and kills and power cuts at every call of the OS seam while keeping and while restoring.

#include "workflows/KeptOriginals.h"
#include "definitions/DefinitionSession.h"
#include "definitions/Preload.h"
#include "platform/FileSystem.h"
#include "tests/fixtures/CrashLoop.h"
#include "tests/fixtures/DemoGame.h"
#include "workflows/JournaledImport.h"

#include <filesystem>
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

  // The small game with its originals kept at open and every kind of change made since, copied to
  // Changed; KeptTree holds the kept folder's files.
  void KeepThenChangeSmallGame() {
    UseSmallGame();
    TDefinitionSession Session(Def);
    Session.Open();
    ASSERT_TRUE(TKeptOriginals(Def, PreloadOf(Game)).Keep(Session.Journal));
    ChangeEverything(Session);
    Session.Close();
    AfterChange = MusicOf(Game);
    KeptTree = TreeOf(TKeptOriginals(Def, PreloadOf(Game)).Folder());
    std::filesystem::copy(Game, ChangedMaster, std::filesystem::copy_options::recursive);
  }

  // What a change does first, in the window and on the command line: a damaged kept folder is set aside,
  // else the originals are kept unless they are or the user said No. Then a description is saved.
  std::optional<TSetAside> ChangeOnce(TKeptOriginals& Kept, TDefinitionSession& Session) {
    std::optional<TSetAside> Aside = Kept.SetAsideIfDamaged();
    if (!Aside && Kept.State() == TKeptState::None)
      Kept.Keep(Session.Journal);
    auto Pack = Load();
    SetFieldText(Pack->Descriptions(0)->Name, "Changed again");
    Pack->SaveWithArchives(Def, false, {}, &Session.Journal);
    return Aside;
  }

  // Every file below Folder by its path relative to it.
  static TFiles TreeOf(const std::string& Folder) {
    namespace fs = std::filesystem;
    TFiles Files;
    for (const fs::directory_entry& Entry : fs::recursive_directory_iterator(Folder))
      if (Entry.is_regular_file())
        Files[fs::relative(Entry.path(), Folder).generic_string()] = ReadFile(Entry.path().string());
    return Files;
  }

  TempDir Dir;
  std::string Master = Dir.File("master"), Game = Dir.File("game"), Def = DefinitionOf(Game);
  void (*MakeGame)(const std::string&) = demo::MakeDemo;
  TFiles AtOpen = (CopyGame(Master, Game), MusicOf(Game));
  std::string ChangedMaster = Dir.File("changed-master");
  TFiles AfterChange, KeptTree;
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

  // A kept copy damaged in place is refused before anything is replaced.
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

// Each byte of a real manifest damaged in turn, after the music changed: the change that follows never
// keeps the changed music as the original, the restore after it gives the true originals or refuses, and
// every kept file survives, in the kept folder or in the one set aside.
TEST_F(KeptOriginalsTest, AManifestDamagedAtAnyByteNeverRestoresChangedMusic) {
  KeepThenChangeSmallGame();
  TKeptOriginals Kept(Def, PreloadOf(Game));
  const Bytes Manifest = KeptTree.at("kept.manifest");
  int Refused = 0;
  for (size_t At = 0; At < Manifest.size(); ++At) {
    SCOPED_TRACE("byte " + std::to_string(At));
    CopyGame(ChangedMaster, Game, MakeGame);
    Bytes Damaged = Manifest;
    Damaged[At] ^= static_cast<uint8_t>(1u << (At % 8));
    WriteFile(JoinPath(Kept.Folder(), "kept.manifest"), Damaged);
    TDefinitionSession Session(Def);
    Session.Open();
    std::optional<TSetAside> Aside = ChangeOnce(Kept, Session);
    const TFiles BeforeRestore = MusicOf(Game);
    try {
      Kept.Restore(Session.Journal);
      EXPECT_EQ(MusicOf(Game), AtOpen);
    } catch (const Exception&) {
      ++Refused;
      EXPECT_EQ(MusicOf(Game), BeforeRestore);
    }
    Session.Close();
    const std::string Holder = Aside ? Aside->SetAsideAs : Kept.Folder();
    for (const auto& [Name, Bytes] : KeptTree) {
      if (Name != "kept.manifest") {
        EXPECT_EQ(ReadFile(JoinPath(Holder, Name)), Bytes) << Name;
      }
    }
  }
  EXPECT_GT(Refused, 0);
}

// Kept folders that cannot be trusted, damaged or made by someone else: each is Damaged with the file
// named, neither restored from nor kept over, and then set aside whole; a file the manifest names outside
// the kept definition's own files is never written.
TEST_F(KeptOriginalsTest, AnUntrustedKeptFolderIsRefusedThenSetAsideWhole) {
  KeepThenChangeSmallGame();
  const std::string Notes = JoinPath(JoinPath(Game, "audio"), "notes.txt"), Above = JoinPath(Game, "x");
  const std::string Absolute = Dir.File("absolute.txt");
  auto GameMusic = [&] {
    TFiles Music = MusicOf(Game);
    Music.erase("audio/notes.txt");
    return Music;
  };
  // Replaces the manifest by one of Files, sealed as a keep seals it, with a kept copy of each new name.
  auto Manifest = [&](TKeptOriginals& Kept, std::vector<TKeptFile> Files) {
    const Bytes Hostile = TextBytes("not the user's");
    for (TKeptFile& File : Files)
      if (!FileExists(Kept.KeptPath(File)) && File.Name.find(':') == std::string::npos) {
        std::filesystem::create_directories(std::filesystem::path(Kept.KeptPath(File)).parent_path());
        WriteFile(Kept.KeptPath(File), Hostile);
        File.Size = static_cast<int64_t>(Hostile.size());
      }
    WriteFile(JoinPath(Kept.Folder(), "kept.manifest"), KeptManifestBytes(Files));
  };
  auto Renamed = [](std::vector<TKeptFile> Files, size_t Index, const std::string& Name) {
    Files[Index].Name = Name;
    return Files;
  };
  const struct {
    const char* Case;
    std::function<void(TKeptOriginals&, const std::vector<TKeptFile>&)> Damage;
    std::string Reason;
  } Cases[] = {
      {"an archive one byte short",
       [](TKeptOriginals& K, const std::vector<TKeptFile>& F) {
         Bytes Short = ReadFile(K.KeptPath(F[1]));
         Short.pop_back();
         WriteFile(K.KeptPath(F[1]), Short);
       },
       "a0.big has "},
      {"an archive missing",
       [](TKeptOriginals& K, const std::vector<TKeptFile>& F) {
         ASSERT_TRUE(platform::DeleteFile(K.KeptPath(F[2])) == 0);
       },
       "a1.big is missing"},
      {"no manifest beside the kept files",
       [](TKeptOriginals& K, const std::vector<TKeptFile>&) {
         ASSERT_TRUE(platform::DeleteFile(JoinPath(K.Folder(), "kept.manifest")) == 0);
       },
       " is there without kept.manifest"},
      {"an archive named ../x", [&](TKeptOriginals& K, auto& F) { Manifest(K, Renamed(F, 1, "../x")); },
       "kept.manifest is damaged"},
      {"an archive named by an absolute path",
       [&](TKeptOriginals& K, auto& F) { Manifest(K, Renamed(F, 1, Absolute)); }, "kept.manifest is damaged"},
      {"an archive named twice", [&](TKeptOriginals& K, auto& F) { Manifest(K, Renamed(F, 2, F[1].Name)); },
       "kept.manifest is damaged"},
      {"the user's notes as a preload archive",
       [&](TKeptOriginals& K, auto& F) { Manifest(K, Renamed(F, F.size() - 1, "notes.txt")); },
       "kept.manifest is damaged"},
      {"the user's notes as an archive",
       [&](TKeptOriginals& K, auto& F) { Manifest(K, Renamed(F, 1, "notes.txt")); },
       "kept.manifest names notes.txt, which the kept definition does not name"},
      {"the user's notes as the definition",
       [&](TKeptOriginals& K, auto& F) { Manifest(K, Renamed(F, 0, "notes.txt")); },
       "kept.manifest keeps notes.txt, not streams.dat"},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Case);
    CopyGame(ChangedMaster, Game, MakeGame);
    for (const std::string& Mine : {Notes, Above, Absolute})
      WriteFile(Mine, TextBytes("my own notes"));
    TKeptOriginals Kept(Def, PreloadOf(Game));
    Case.Damage(Kept, Kept.Kept());
    const TFiles Before = TreeOf(Kept.Folder());
    EXPECT_EQ(Kept.State(), TKeptState::Damaged);
    EXPECT_NE(Kept.Damage().find(Case.Reason), std::string::npos) << Kept.Damage();
    TDefinitionSession Session(Def);
    Session.Open();
    const std::pair<const char*, std::function<void()>> Attempts[] = {
        {"restored from", [&] { Kept.Restore(Session.Journal); }},
        {"kept over", [&] { Kept.Keep(Session.Journal); }}};
    for (const auto& [What, Attempt] : Attempts)
      try {
        Attempt();
        ADD_FAILURE() << What;
      } catch (const Exception& Error) {
        EXPECT_EQ(Error.Message(),
                  "The kept original music in \"" + Kept.Folder() + "\" is damaged: " + Kept.Damage());
      }
    EXPECT_EQ(GameMusic(), AfterChange);
    std::optional<TSetAside> Aside = Kept.SetAsideIfDamaged();
    Session.Close();
    ASSERT_TRUE(Aside);
    EXPECT_EQ(Aside->Folder, Kept.Folder());
    EXPECT_NE(Aside->SetAsideAs.find("Original music (set aside "), std::string::npos);
    EXPECT_EQ(TreeOf(Aside->SetAsideAs), Before) << "set aside whole";
    EXPECT_EQ(Kept.State(), TKeptState::Declined) << "nobody asks to keep changed music";
    EXPECT_FALSE(Kept.SetAsideIfDamaged());
    EXPECT_EQ(GameMusic(), AfterChange);
    for (const std::string& Mine : {Notes, Above, Absolute})
      EXPECT_EQ(ReadFile(Mine), TextBytes("my own notes")) << Mine;
  }
}

// The kept copy and folders set aside are read only; the game's own files and look-alike names are not.
TEST(KeptFolderTest, FilesInAKeptFolderAreTheKeptCopy) {
  const struct {
    const char* Path;
    bool Kept;
  } Cases[] = {
      {"/game/audio/Original music/audio/streams.dat", true},
      {"/game/audio/Original music/preload/faudio.viv", true},
      {"/game/audio/original MUSIC/audio/ingame.big", true},
      {"/game/audio/Original music (set aside 2026-12-09 0315)/audio/streams.dat", true},
      {"/game/audio/Original music/audio/../audio/streams.dat", true},
      {"C:\\ORVIK\\audio\\Original music\\audio\\streams.dat", true},
      {"/game/audio/streams.dat", false},
      {"/game/audio/Original music/streams.dat", false},
      {"/game/audio/Original music/audio/sub/../../streams.dat", false},
      {"/game/audio/Original musical/audio/streams.dat", false},
      {"/game/audio/Original music/audio2/streams.dat", false},
  };
  for (const auto& Case : Cases)
    EXPECT_EQ(IsInKeptFolder(Case.Path), Case.Kept) << Case.Path;
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
        Kind, Dir.Path(), [&] { CopyGame(Master, Game, MakeGame); },
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

// The same while restoring: after the next open the definition and its archives are all as before the
// restore or all as kept, and so are the preload archives, which go back last.
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
        Kind, Dir.Path(), [&] { CopyGame(Changed, Game, MakeGame); },
        [&] {
          TDefinitionSession Session(Def);
          Session.Open();
          Kept.Restore(Session.Journal);
          Session.Close();
        },
        [&](int) {
          TDefinitionSession Session(Def);
          Session.Open();
          // The preload archives go back after the rest, in a commit of their own through the journal
          // beside them, which the next restore or preload update recovers first.
          TWriteJournal::Recover(PreloadJournalPath(PreloadOf(Game)), PreloadScope());
          TFiles Now = MusicOf(Game);
          auto Part = [](const TFiles& Files, const std::string& Folder) {
            TFiles Within;
            for (const auto& [Name, Bytes] : Files)
              if (Name.rfind(Folder, 0) == 0)
                Within[Name] = Bytes;
            return Within;
          };
          for (const char* Folder : {"audio/", "preload/"})
            EXPECT_TRUE(Part(Now, Folder) == Part(Before, Folder) ||
                        Part(Now, Folder) == Part(AtOpen, Folder))
                << Folder;
          if (Part(Now, "preload/") != Part(Before, "preload/")) {
            EXPECT_EQ(Part(Now, "audio/"), Part(AtOpen, "audio/")) << "the preload archives went back first";
          }
          ExpectKeptAsAtOpen(Kept);
          Session.Close();
          EXPECT_TRUE(Dir.Leftovers().empty()) << Dir.Leftovers()[0];
        });
  std::cout << "[ crashes  ] " << Deaths << " deaths while restoring, each recovered\n";
}
#endif
