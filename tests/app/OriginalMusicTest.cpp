// The game's original music and soundtrack packs through the window's logic, on demo games: kept at the
// first change (or the No remembered), restored byte for byte, and a pack carried from one game to another.

#include "base/Paths.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "tests/app/EditorFixture.h"
#include "tools/make-demo/Demo.h"
#include "workflows/KeptOriginals.h"
#include "workflows/SoundtrackPack.h"

#include <filesystem>
#include <map>

#ifdef ORVIK_REAL_SX_FOLDER

using namespace fixtures;

namespace {

class OriginalMusicTest : public EditorTest {
protected:
  OriginalMusicTest() { Form = NewForm(&RealRunner, RealFolder); }

  // A fresh demo game; returns its definition.
  std::string MakeGame(const std::string& Name) {
    demo::MakeDemo(Dir.File(Name));
    return JoinPath(JoinPath(Dir.File(Name), "audio"), "streams.dat");
  }
  // Every file of the game's audio and preload folders by name, the kept folder left out.
  static std::map<std::string, Bytes> GameFiles(const std::string& Definition) {
    std::map<std::string, Bytes> Files;
    std::filesystem::path Game = std::filesystem::path(Definition).parent_path().parent_path();
    for (const char* Folder : {"audio", "preload"})
      for (const auto& Entry : std::filesystem::directory_iterator(Game / Folder))
        if (Entry.is_regular_file() && Entry.path().filename().string().find('~') == std::string::npos)
          Files[std::string(Folder) + "/" + Entry.path().filename().string()] =
              ReadFile(Entry.path().string());
    return Files;
  }
  // Changes the first sample's description: a change that a save writes.
  // A first change, saved with Yes to keeping the original music, and the definition closed.
  void KeepByAFirstChange(const std::string& Game) {
    Open(Game);
    ChangeDescription(L"Changed Once");
    Boxes.Answers.push_back(TMsgResult::Yes);
    Save();
    ASSERT_TRUE(Form->CloseDefinition());
  }
  void ChangeDescription(const std::wstring& Name) {
    Form->treeFiles.Select(Node({0, 0, 0}));
    Form->edtName.UserType(Name);
  }
  void Save() {
    Boxes.Answers.push_back(TMsgResult::No); // no preload update
    Run([&] { Form->actFileSaveExecute(); });
  }
  // Per sample: its song's digest and its description.
  static std::vector<std::string> Music(const TStreamPack& Pack) {
    std::vector<std::string> Lines;
    for (int32_t S = 0; S < Pack.StreamCount(); ++S)
      for (int32_t K = 0; K < Pack.Streams(S)->SampleCount(); ++K) {
        const TStreamData& Sample = *Pack.Streams(S)->Samples(K);
        TSongDigest Digest = DigestOf(*EntryOfSample(Sample));
        const TStreamDescription* D =
            Sample.DescriptionIndex >= 0 ? Pack.Descriptions(Sample.DescriptionIndex) : nullptr;
        Lines.push_back(
            std::to_string(S) + "/" + std::to_string(K) + " " + std::to_string(Digest.Size) + ":" +
            std::to_string(Digest.Crc) + " " +
            (D ? FieldText(D->Singer) + "|" + FieldText(D->Name) + "|" + FieldText(D->Album) : "-"));
      }
    return Lines;
  }

  std::string RealFolder =
      JoinPath(platform::ProgramFolder(), ORVIK_REAL_SX_FOLDER) + platform::PathDelimiter();
};

} // namespace

// The first change asks once: Yes keeps the files as they were at open, No is remembered; neither asks
// again. A restore then gives the files back byte for byte, however much was changed and saved meanwhile.
TEST_F(OriginalMusicTest, TheFirstChangeKeepsTheOriginalsOnceAndRestorePutsThemBack) {
  for (TMsgResult Answer : {TMsgResult::Yes, TMsgResult::No}) {
    SCOPED_TRACE(Answer == TMsgResult::Yes ? "kept" : "declined");
    std::string Game = MakeGame(Answer == TMsgResult::Yes ? "kept" : "declined");
    const std::map<std::string, Bytes> AtOpen = GameFiles(Game);
    Boxes.Shown.clear();
    Open(Game);
    Form->ApplicationEventsIdle();
    EXPECT_FALSE(Form->actFileRestoreOriginal.Enabled());
    ChangeDescription(L"Changed Once");
    Boxes.Answers.push_back(Answer);
    Save();
    ASSERT_EQ(Boxes.Shown.size(), 2u) << "the keep question, then the preload question";
    EXPECT_NE(Boxes.Shown[0].Text.find(L"keep a copy of its original music"), std::wstring::npos);
    EXPECT_NE(Boxes.Shown[0].Text.find(L" MB, in \""), std::wstring::npos);
    EXPECT_EQ(Boxes.Shown[0].Caption, L"ORVIK Streams Editor")
        << "a question of ours, not titled as an error";
    TKeptOriginals Originals(Game, DefaultPreloadFolder(Game));
    if (Answer == TMsgResult::No) {
      EXPECT_EQ(Originals.State(), TKeptState::Declined);
      ChangeDescription(L"Changed Twice");
      Save();
      EXPECT_EQ(Boxes.Shown.size(), 3u) << "asked again after No";
      Form->ApplicationEventsIdle();
      EXPECT_FALSE(Form->actFileRestoreOriginal.Enabled());
      ASSERT_TRUE(Form->CloseDefinition());
      continue;
    }
    ASSERT_EQ(Originals.State(), TKeptState::Kept);
    Form->ApplicationEventsIdle();
    EXPECT_EQ(Form->StatusBar.Text(), L"The original music is kept in " + W(Originals.Folder()));
    // What is kept, and that it is kept as at open, is the workflow's (KeptOriginalsTest); here, that the
    // window's save kept it.
    ASSERT_NE(GameFiles(Game), AtOpen);

    // More changes, one unsaved; the restore discards it, puts every file back and opens the game again.
    ChangeDescription(L"Changed Twice");
    Save();
    ChangeDescription(L"Not Saved");
    EXPECT_EQ(Boxes.Shown.size(), 3u) << "asked again after Yes";
    Form->ApplicationEventsIdle();
    ASSERT_TRUE(Form->actFileRestoreOriginal.Enabled());

    // A damaged copy is refused with nothing changed, and the definition is open again.
    const std::map<std::string, Bytes> Saved = GameFiles(Game);
    const std::string KeptDefinition = Originals.KeptPath(Originals.Kept()[0]);
    Bytes Good = ReadFile(KeptDefinition), Damaged = Good;
    Damaged[Damaged.size() / 2] ^= 0x40;
    WriteFile(KeptDefinition, Damaged);
    Boxes.Answers.push_back(TMsgResult::Yes);
    Run([&] { Form->actFileRestoreOriginalExecute(); });
    ASSERT_EQ(Boxes.Shown.size(), 5u);
    EXPECT_NE(Boxes.Shown[4].Text.find(L"damaged"), std::wstring::npos) << WideToAnsi(Boxes.Shown[4].Text);
    EXPECT_EQ(GameFiles(Game), Saved);
    ASSERT_NE(Form->Pack(), nullptr);
    WriteFile(KeptDefinition, Good);
    ChangeDescription(L"Not Saved");

    Boxes.Answers.push_back(TMsgResult::Yes);
    Run([&] { Form->actFileRestoreOriginalExecute(); });
    ASSERT_EQ(Boxes.Shown.size(), 6u) << WideToAnsi(Boxes.Shown.back().Text);
    EXPECT_NE(Boxes.Shown[5].Text.find(L"Your unsaved changes are lost."), std::wstring::npos);
    EXPECT_EQ(GameFiles(Game), AtOpen);
    ASSERT_NE(Form->Pack(), nullptr);
    EXPECT_FALSE(Form->DefinitionChanged());
    EXPECT_EQ(Form->StatusBar.Text(), L"The original music is back.");
    EXPECT_EQ(TKeptOriginals(Game, DefaultPreloadFolder(Game)).State(), TKeptState::Kept) << "the copy stays";
    ASSERT_TRUE(Form->CloseDefinition());
  }
}

// A pack exported after an import and a new description on one game, and applied to a fresh game, gives
// that game the same songs and descriptions sample by sample.
TEST_F(OriginalMusicTest, APackCarriesTheChangedMusicToAnotherGame) {
  std::string Mine = MakeGame("mine"), Friends = MakeGame("friends");
  Open(Mine);
  Form->treeFiles.Select(Node({1, 0, 0}));
  std::string Song = Dir.File("song.wav");
  Dialogs.SaveAnswer = {{W(Song), 1}};
  Form->treeFiles.Select(Node({0, 0, 1}));
  Run([&] { Form->actSampleExportExecute(); }); // a song of the game as a Wave file, to import elsewhere
  ASSERT_TRUE(platform::IsFile(Song));
  Form->treeFiles.Select(Node({1, 0, 0}));
  Boxes.Answers.push_back(TMsgResult::Yes); // keep the originals
  Dialogs.OpenAnswers.push_back(W(Song));
  Run([&] { Form->actSampleImportExecute(); });
  ChangeDescription(L"Renamed");
  Save();
  ASSERT_EQ(Boxes.Shown.size(), 2u) << WideToAnsi(Boxes.Shown.back().Text);

  std::string PackPath = Dir.File("mine.orvikpack");
  Dialogs.SaveAnswer = {{W(PackPath), 1}};
  Run([&] { Form->actFileExportPackExecute(); });
  ASSERT_TRUE(platform::IsFile(PackPath)) << (Boxes.Shown.empty() ? "" : WideToAnsi(Boxes.Shown.back().Text));
  EXPECT_NE(Form->StatusBar.Text().find(L"those that differ from the original music"), std::wstring::npos);
  auto Pack = ReadPack(PackPath);
  EXPECT_TRUE(Pack->Manifest.AgainstOriginals);
  EXPECT_GE(Pack->Manifest.Samples.size(), 2u) << "the imported sample and the renamed one";
  EXPECT_LT(Pack->Manifest.Samples.size(), 6u) << "only what differs";
  const std::vector<std::string> MyMusic = Music(*Form->Pack());
  ASSERT_TRUE(Form->CloseDefinition());

  Boxes.Shown.clear();
  Open(Friends);
  Dialogs.OpenAnswers.push_back(W(PackPath));
  Boxes.Answers = {TMsgResult::Yes, TMsgResult::No}; // apply; no copy of the originals
  Run([&] { Form->actFileApplyPackExecute(); });
  ASSERT_EQ(Boxes.Shown.size(), 2u) << WideToAnsi(Boxes.Shown.back().Text);
  EXPECT_NE(Boxes.Shown[0].Text.find(L"Stream 1, sample 0: "), std::wstring::npos)
      << WideToAnsi(Boxes.Shown[0].Text);
  EXPECT_TRUE(Form->DefinitionChanged());
  Save();
  EXPECT_EQ(Music(*Form->Pack()), MyMusic);
  ASSERT_TRUE(Form->CloseDefinition());
  Open(Friends);
  EXPECT_EQ(Music(*Form->Pack()), MyMusic) << "after saving and opening again";
}

// A kept copy found damaged at the next change is set aside, not kept over: the user is told once, in a box
// of ours, and the kept bytes are all in the folder set aside.
TEST_F(OriginalMusicTest, ADamagedKeptCopyIsSetAsideAndToldOnce) {
  std::string Game = MakeGame("damaged");
  const std::map<std::string, Bytes> AtOpen = GameFiles(Game);
  KeepByAFirstChange(Game);
  TKeptOriginals Originals(Game, DefaultPreloadFolder(Game));
  const std::string Manifest = JoinPath(Originals.Folder(), "kept.manifest");
  Bytes Damaged = ReadFile(Manifest);
  Damaged[Damaged.size() / 2] ^= 0x10;
  WriteFile(Manifest, Damaged);

  Boxes.Shown.clear();
  Open(Game);
  Form->ApplicationEventsIdle();
  EXPECT_FALSE(Form->actFileRestoreOriginal.Enabled());
  ChangeDescription(L"Changed Twice");
  Save();
  ASSERT_EQ(Boxes.Shown.size(), 2u) << "the notice, then the preload question";
  EXPECT_EQ(Boxes.Shown[0].Caption, L"ORVIK Streams Editor");
  const std::wstring& Notice = Boxes.Shown[0].Text;
  size_t At = Notice.find(L"It was set aside as \"");
  ASSERT_NE(At, std::wstring::npos) << WideToAnsi(Notice);
  EXPECT_NE(Notice.find(L"kept.manifest is damaged"), std::wstring::npos) << WideToAnsi(Notice);
  At += std::wstring(L"It was set aside as \"").size();
  const std::string Aside = WideToAnsi(Notice.substr(At, Notice.find(L'"', At) - At));
  EXPECT_EQ(ReadFile(JoinPath(Aside, "kept.manifest")), Damaged);
  for (const auto& [Name, Bytes] : AtOpen)
    EXPECT_EQ(ReadFile(JoinPath(Aside, Name)), Bytes) << Name;
  EXPECT_EQ(Originals.State(), TKeptState::Declined);

  ChangeDescription(L"Changed Thrice");
  Save();
  EXPECT_EQ(Boxes.Shown.size(), 3u) << "told once";
  ASSERT_TRUE(Form->CloseDefinition());
}

// The kept definition opens read-only, says so once, and nothing the editor does writes in the kept folder.
TEST_F(OriginalMusicTest, AKeptDefinitionOpensReadOnly) {
  std::string Game = MakeGame("readonly");
  KeepByAFirstChange(Game);
  TKeptOriginals Originals(Game, DefaultPreloadFolder(Game));
  const std::string KeptDefinition = Originals.KeptPath(Originals.Kept()[0]);
  auto KeptFolder = [&] {
    std::map<std::string, Bytes> Files;
    for (const auto& Entry : std::filesystem::recursive_directory_iterator(Originals.Folder()))
      if (Entry.is_regular_file())
        Files[Entry.path().string()] = ReadFile(Entry.path().string());
    return Files;
  };
  const std::map<std::string, Bytes> Kept = KeptFolder();

  Boxes.Shown.clear();
  Open(KeptDefinition);
  ASSERT_NE(Form->Pack(), nullptr);
  ASSERT_EQ(Boxes.Shown.size(), 1u);
  EXPECT_EQ(Boxes.Shown[0].Caption, L"ORVIK Streams Editor");
  EXPECT_NE(Boxes.Shown[0].Text.find(L"opens read-only"), std::wstring::npos);
  ChangeDescription(L"Not Here");
  Form->treeFiles.Select(Node({0, 0, 0}));
  Form->ApplicationEventsIdle();
  for (TActionModel* Action : {&Form->actFileSave, &Form->actSampleImport, &Form->actFileApplyPack,
                               &Form->actFileUpdatePreload, &Form->actFileRestoreOriginal})
    EXPECT_FALSE(Action->Enabled()) << WideToAnsi(Action->Caption());
  // Reached without the action, as a drop does: refused.
  Run([&] { Form->actFileSaveExecute(); });
  ASSERT_EQ(Boxes.Shown.size(), 2u);
  EXPECT_NE(Boxes.Shown[1].Text.find(L"kept copy of the game's original music"), std::wstring::npos);
  ASSERT_TRUE(Form->CloseDefinition());
  EXPECT_EQ(Boxes.Shown.size(), 2u) << "no question to save the kept copy";
  EXPECT_EQ(KeptFolder(), Kept);
  EXPECT_EQ(Originals.State(), TKeptState::Kept);
}

#endif
