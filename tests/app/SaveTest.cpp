#include "app/Messages.h"
#include "archive/EACompr.h"
#include "base/Paths.h"
#include "definitions/Preload.h"
#include "platform/FileSystem.h"
#include "tests/app/EditorFixture.h"
#include "tests/fixtures/FaultLoop.h"
#include "tests/fixtures/RefPack.h"

#include <filesystem>

using namespace fixtures;

namespace {

const char* const kGameKey = "SOFTWARE\\EA SPORTS\\ORVIK";

class PreloadTest : public EditorTest {
protected:
  PreloadTest() {
    Preload = Dir.File("preload");
    std::filesystem::create_directory(Preload);
    Gaudio = {
        {"other.bin", Pattern(30, 7)}, {"STREAMS.DAT", Pattern(10, 8)}, {"streams.dat", Pattern(12, 9)}};
    Faudio = {{"music\\streams.dat", Pattern(5, 10)}, {"streams.da", Pattern(6, 11)}};
    WritePreload();
    Form->actFileUpdatePreloadDialog.Folder = Preload;
  }
  void WritePreload() {
    WriteFile(GaudioPath(), MakeBigf(Gaudio));
    WriteFile(FaudioPath(), MakeBigf(Faudio));
  }
  std::string GaudioPath() const { return JoinPath(Preload, "gaudio.viv"); }
  std::string FaudioPath() const { return JoinPath(Preload, "faudio.viv"); }
  // gaudio.viv once its first streams.dat entry holds Data: the rebuild orders the directory by the old
  // offsets, and the new data was appended last.
  Bytes UpdatedGaudio(const Bytes& Data) const {
    return MakeBigf({Gaudio[0], Gaudio[2], {"STREAMS.DAT", Data}});
  }
  Bytes EntryData(const std::string& Archive, int Index) const {
    TEAStream Reader;
    Reader.LoadFromFile(Archive);
    Reader.Files(Index)->SaveToFile(Dir.File("entry.bin"));
    return ReadFile(Dir.File("entry.bin"));
  }
  std::string Preload;
  std::vector<BigfEntry> Gaudio, Faudio;
};

} // namespace

TEST_F(EditorTest, SaveWritesOnlyWhatChangedAndAsksAboutThePreloadFolder) {
  OpenStandard();
  Select({0, 0, 0});
  Form->edtName.UserType(L"New name");
  std::vector<Bytes> Before = Snapshot();
  Screen.History.clear();
  Boxes.Answers = {TMsgResult::No};
  Form->actFileSaveExecute();
  std::vector<Bytes> After = Snapshot();
  for (int I = 0; I < 3; ++I)
    EXPECT_EQ(After[I], Before[I]) << "archive " << I << " was touched";
  Definition Expected = StandardDefinition();
  Expected.Descriptions[0].Name = "New name";
  EXPECT_EQ(After[3], MakeDefinition(Expected));
  EXPECT_FALSE(Form->DefinitionChanged());
  EXPECT_EQ(Boxes.Shown.back().Text,
            L"Do you want to update ORVIK preload directory with the new definition file?");
  EXPECT_EQ(Boxes.Shown.back().Buttons, TMsgButtons::YesNo);
  EXPECT_EQ(Boxes.Shown.back().Caption, L"");
  EXPECT_EQ(Screen.History, (std::vector<TCursor>{TCursor::HourGlass, TCursor::Default}));
  EXPECT_EQ(Form->StatusBar.Text(), L"");
  EXPECT_TRUE(Dir.ScratchFiles().empty());
  Form->ApplicationEventsIdle();
  EXPECT_FALSE(Form->actFileSave.Enabled());
  EXPECT_EQ(Form->SelectedSample(), Form->Pack()->Streams(0)->Samples(0)) << "the tree keeps its objects";
}

TEST_F(EditorTest, ASaveThatFailsAtAnyOsCallLeavesTheDefinitionOldOrNew) {
  Definition Changed = StandardDefinition();
  Changed.Descriptions[1].Album = "Changed";
  Bytes Old = MakeDefinition(StandardDefinition());
  Bytes New = MakeDefinition(Changed);
  std::vector<Bytes> Archives;
  int Runs = RunFaultLoop(
      [&] {
        for (const std::string& Path : Dir.Leftovers())
          platform::DeleteFile(Path);
        WriteStandardFiles();
        Archives = Snapshot();
        Boxes.Answers = {TMsgResult::No};
        Form = NewForm();
        OpenStandard();
        Select({0, 0, 1});
        Form->edtAlbum.UserType(L"Changed");
        Boxes.Shown.clear();
        Boxes.Answers = {TMsgResult::No};
      },
      [&] { Form->actFileSaveExecute(); },
      [&](const FaultRun& R) {
        std::vector<Bytes> Now = Snapshot();
        for (int I = 0; I < 3; ++I)
          EXPECT_EQ(Now[I], Archives[I]) << Describe(R);
        EXPECT_TRUE(Now[3] == Old || Now[3] == New) << Describe(R) << ": the definition file is partial";
        EXPECT_EQ(Form->DefinitionChanged(), Now[3] != New) << Describe(R);
        EXPECT_EQ(Screen.Cursor(), TCursor::Default) << Describe(R);
        if (R.Failed) {
          EXPECT_FALSE(R.Error.empty()) << Describe(R);
        }
        if (!DeletesRefused(R)) {
          EXPECT_TRUE(Dir.ScratchFiles().empty()) << Describe(R);
        }
      });
  EXPECT_GT(Runs, 7);
}

TEST_F(PreloadTest, TheFolderIsProposedFromTheGamesRegistryEntry) {
  Form->actFileUpdatePreloadDialog.Folder = "kept";
  Form->actFileUpdatePreloadBeforeExecute();
  EXPECT_EQ(Form->actFileUpdatePreloadDialog.Folder, "kept") << "a missing key changes the folder";
  EXPECT_EQ(Registry.OpenedKeys, std::vector<std::string>{kGameKey});

  Registry.Keys[kGameKey] = {};
  Form->actFileUpdatePreloadBeforeExecute();
  EXPECT_EQ(Form->actFileUpdatePreloadDialog.Folder, "preload") << "a missing value reads as empty";

  struct Case {
    std::wstring Value;
    std::string Folder;
  } Cases[] = {{L"C:\\Games\\ORVIK\\", "C:\\Games\\ORVIK\\preload"},
               {L"C:\\Games\\ORVIK", "C:\\Games\\ORVIKpreload"}};
  for (const Case& C : Cases) {
    Registry.Keys[kGameKey]["Install Dir"] = {'s', C.Value};
    Form->actFileUpdatePreloadBeforeExecute();
    EXPECT_EQ(Form->actFileUpdatePreloadDialog.Folder, C.Folder);
  }
  EXPECT_EQ(Registry.OpenCount, 0) << "a key was left open";

  for (char Type : {'d', 'f'}) {
    Registry.Keys[kGameKey]["Install Dir"] = {Type, L""};
    Form->actFileUpdatePreloadDialog.Folder = "kept";
    Run([&] { Form->actFileUpdatePreloadExecute(); });
    EXPECT_EQ(Boxes.Shown.back().Text,
              Type == 'd' ? L"Invalid data type for 'Install Dir'" : L"Failed to get data for 'Install Dir'");
    EXPECT_TRUE(Dialogs.FolderSeen.empty()) << "the dialog opened after a registry error";
    EXPECT_EQ(Form->actFileUpdatePreloadDialog.Folder, "kept");
    EXPECT_EQ(Registry.OpenCount, 0) << "a key was left open after an error";
  }
}

TEST_F(PreloadTest, TheSavedDefinitionGoesCompressedIntoTheFirstMatchingEntry) {
  OpenStandard();
  Select({0, 0, 0});
  Form->edtName.UserType(L"Preloaded");
  platform::DeleteFile(FaudioPath());
  WriteFile(FaudioPath(), MakeBigf(Faudio));
  Bytes FaudioBefore = ReadFile(FaudioPath());
  Registry.Keys[kGameKey]["Install Dir"] = {'s', W(Dir.Path())};
  Dialogs.FolderAnswer = Preload;
  Boxes.Answers = {TMsgResult::Yes};
  Form->actFileSaveExecute();

  ASSERT_EQ(Dialogs.FolderSeen.size(), 1u);
  EXPECT_EQ(Dialogs.FolderSeen[0].Folder, Dir.Path() + "preload");
  EXPECT_EQ(Dialogs.FolderSeen[0].Caption, L"Selecet <ORVIK>\\preload directory...");
  Bytes Saved = ReadFile(DefPath);
  Bytes Stored = EntryData(GaudioPath(), 2);
  EXPECT_TRUE(IsCompressed(Stored.data()));
  EXPECT_EQ(RefPackDecode(Stored), Saved) << "the preload copy is not the saved definition";
  EXPECT_EQ(ReadFile(GaudioPath()), UpdatedGaudio(Stored))
      << "other entries changed or the layout is not compact";
  EXPECT_EQ(ReadFile(FaudioPath()), FaudioBefore) << "an archive without a matching entry changed";
  EXPECT_FALSE(platform::IsFile(JoinPath(Preload, "gaudiofa.viv")));
  EXPECT_EQ(Boxes.Shown.size(), 1u) << "a message about the missing archive";
  EXPECT_TRUE(Dir.ScratchFiles().empty());
  EXPECT_EQ(Screen.Cursor(), TCursor::Default);
}

TEST_F(PreloadTest, AnUncompressibleDefinitionIsCopiedAsItIs) {
  // Starts with 10 FB and still opens: a negative archive count and no streams.
  Bytes Flagged = FromHex("10FB0080 00000000 00000000");
  WriteFile(DefPath, Flagged);
  OpenStandard();
  Form->actFileUpdatePreloadAccept();
  ASSERT_EQ(Boxes.Shown.size(), 1u);
  EXPECT_EQ(Boxes.Shown[0].Text,
            L"Unable to compress streams.dat. The file will be imported in preload archives uncompressed.");
  EXPECT_EQ(Boxes.Shown[0].Icon, TMsgIcon::Error);
  EXPECT_EQ(ReadFile(GaudioPath()), UpdatedGaudio(Flagged));
  EXPECT_EQ(ReadFile(DefPath), Flagged) << "the definition file itself was touched";
  EXPECT_TRUE(Dir.ScratchFiles().empty());
}

TEST_F(PreloadTest, APreloadUpdateFailingAtAnyOsCallLeavesEveryArchiveOldOrNew) {
  Bytes OldG, OldF, NewG;
  OpenStandard();
  Form->actFileUpdatePreloadAccept();
  NewG = ReadFile(GaudioPath());
  int Runs = RunFaultLoop(
      [&] {
        WritePreload();
        OldG = ReadFile(GaudioPath());
        OldF = ReadFile(FaudioPath());
      },
      [&] { Form->actFileUpdatePreloadAccept(); },
      [&](const FaultRun& R) {
        Bytes G = ReadFile(GaudioPath());
        EXPECT_TRUE(G == OldG || G == NewG) << Describe(R) << ": gaudio.viv is neither old nor new";
        EXPECT_EQ(ReadFile(FaudioPath()), OldF) << Describe(R);
        EXPECT_EQ(ReadFile(DefPath), MakeDefinition(StandardDefinition())) << Describe(R);
        if (!R.Failed) {
          EXPECT_EQ(G, NewG) << Describe(R);
        }
        if (!DeletesRefused(R)) {
          EXPECT_TRUE(Dir.ScratchFiles().empty()) << Describe(R);
        }
        // Copies that a failed update could not delete are its journal's, which the next update ends first.
        TWriteJournal::Recover(PreloadJournalPath(Preload), PreloadScope());
        EXPECT_TRUE(Dir.Leftovers().empty()) << Describe(R);
        for (const std::string& Name : Dir.ScratchFiles())
          platform::DeleteFile(Dir.ScratchPath() + Name);
        for (const std::string& Path : Dir.Leftovers())
          platform::DeleteFile(Path);
      });
  EXPECT_GT(Runs, 10);
}

TEST_F(PreloadTest, TheUpdateNamesTheArchivesItChangedAndWarnsWhenItChangedNone) {
  OpenStandard();
  WriteFile(JoinPath(Preload, "gaudiofa.viv"), MakeBigf({{"Streams.Dat", Pattern(7, 12)}}));
  std::string NoEntry = Dir.File("no entry");
  std::filesystem::create_directory(NoEntry);
  WriteFile(JoinPath(NoEntry, "faudio.viv"), MakeBigf(Faudio));
  WriteFile(JoinPath(NoEntry, "gaudiofa.viv"), MakeBigf({{"other.bin", Pattern(4, 1)}}));
  std::string Empty = Dir.File("empty");
  std::filesystem::create_directory(Empty);
  std::filesystem::create_directory(JoinPath(Empty, "gaudio.viv")); // a folder is no archive
  std::wstring Break = W(platform::LineBreak());
  const wchar_t* None =
      L"The preload directory was not updated: this folder holds none of the preload archives "
      L"faudio.viv, gaudio.viv and gaudiofa.viv:";
  struct Case {
    std::string Folder;
    std::wstring Status, Warning;
  } Cases[] = {
      {Preload, L"Preload directory updated: gaudio.viv, gaudiofa.viv", L""},
      {NoEntry, L"",
       L"The preload directory was not updated: none of its preload archives holds an entry named "
       L"streams.dat (faudio.viv, gaudiofa.viv in " +
           W(NoEntry) + L")."},
      {Empty, L"", None + Break + W(Empty)},
      {Dir.File("missing"), L"", None + Break + W(Dir.File("missing"))},
  };
  for (const Case& C : Cases) {
    Boxes.Shown.clear();
    Form->StatusBar.SetText(L"");
    std::vector<Bytes> Before;
    for (const char* Name : PreloadArchiveNames)
      if (platform::IsFile(JoinPath(C.Folder, Name)))
        Before.push_back(ReadFile(JoinPath(C.Folder, Name)));
    Form->actFileUpdatePreloadDialog.Folder = C.Folder;
    Form->actFileUpdatePreloadAccept();
    EXPECT_EQ(Form->StatusBar.Text(), C.Status) << C.Folder;
    if (C.Warning.empty()) {
      EXPECT_TRUE(Boxes.Shown.empty()) << C.Folder;
      continue;
    }
    ASSERT_EQ(Boxes.Shown.size(), 1u) << C.Folder;
    EXPECT_EQ(Boxes.Shown[0].Text, C.Warning);
    EXPECT_EQ(Boxes.Shown[0].Icon, TMsgIcon::Warning);
    std::vector<Bytes> After;
    for (const char* Name : PreloadArchiveNames)
      if (platform::IsFile(JoinPath(C.Folder, Name)))
        After.push_back(ReadFile(JoinPath(C.Folder, Name)));
    EXPECT_EQ(After, Before) << C.Folder;
  }
  EXPECT_TRUE(Dir.ScratchFiles().empty());
}

TEST_F(PreloadTest, TheRebuildsStatusIsGoneBeforeThePreloadQuestionAndTheUpdatesStatusStays) {
  std::string Input = Dir.File("song.wav");
  WriteFile(Input, Pattern(64, 30));
  OpenStandard();
  Select({0, 1, 0}); // b1
  Dialogs.OpenAnswers.push_back(W(Input));
  Form->actSampleImportExecute();
  ASSERT_TRUE(Form->ArchivesChanged());
  std::vector<std::wstring> StatusAtQuestion;
  std::vector<bool> ProgressAtQuestion;
  Boxes.OnShow = [&] {
    StatusAtQuestion.push_back(Form->StatusBar.Text());
    ProgressAtQuestion.push_back(Form->StatusProgress.Visible());
  };
  bool Rebuilt = false;
  Form->StatusBar.Changed = [&] { Rebuilt = Rebuilt || Form->StatusBar.Text() == L"Rebuilding archives..."; };
  Boxes.Answers = {TMsgResult::Yes};
  Dialogs.FolderAnswer = Preload;
  Form->actFileSaveExecute();
  EXPECT_TRUE(Rebuilt);
  EXPECT_EQ(StatusAtQuestion, std::vector<std::wstring>{L""});
  EXPECT_EQ(ProgressAtQuestion, std::vector<bool>{false});
  EXPECT_EQ(Form->StatusBar.Text(), L"Preload directory updated: gaudio.viv");
  EXPECT_FALSE(Form->StatusProgress.Visible());
  EXPECT_EQ(Screen.Cursor(), TCursor::Default);
}
