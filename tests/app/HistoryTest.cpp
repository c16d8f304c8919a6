// Undo and Redo through the window's logic on the demo game, with the real converter: random sequences of
// every kind of edit, each undone and made again, checked against the states that a plain replay of the
// edits passed through: the definition in memory (descriptions, samples and their songs' bytes) and every
// file of the game on disk.

#include "base/Paths.h"
#include "converter/formats/WaveWriter.h"
#include "platform/FileSystem.h"
#include "tests/app/EditorFixture.h"
#include "tests/app/ScriptedBatchWindow.h"
#include "tests/converter/Signals.h"
#include "tools/make-demo/Demo.h"
#include "workflows/KeptOriginals.h"
#include "workflows/SoundtrackPack.h"

#include <filesystem>
#include <map>
#include <random>

#ifdef ORVIK_REAL_SX_FOLDER

using namespace fixtures;

namespace {

// What an edit may change: the model, and the files on disk.
struct TState {
  std::vector<std::string> Model;
  std::map<std::string, Bytes> Files;
  bool operator==(const TState&) const = default;
};

class HistoryTest : public EditorTest {
protected:
  HistoryTest() {
    BatchWindow = &Window;
    Window.Match = false;
    Form = NewForm(&RealRunner, RealFolder);
    for (int I = 0; I < 4; ++I) {
      std::string Path = Dir.File("song" + std::to_string(I) + ".wav");
      WriteFile(Path, sx::WriteWave(sxtest::Sine(22050, 22050 / 2, 200.0 + 50 * I, 0.2)));
      Songs.push_back(W(Path));
    }
  }
  std::string MakeGame(const std::string& Name) {
    demo::MakeDemo(Dir.File(Name));
    std::string Definition = JoinPath(JoinPath(Dir.File(Name), "audio"), "streams.dat");
    TKeptOriginals(Definition, "").Decline();
    return Definition;
  }
  // A pack made on a copy of the demo: the first sample's song replaced and its name changed.
  std::wstring MakePack() {
    Open(MakeGame("other"));
    Form->treeFiles.Select(Node({0, 0, 0}));
    Dialogs.OpenAnswers.push_back(Songs[3]);
    Run([&] { Form->actSampleImportExecute(); });
    Form->edtName.UserType(L"From the pack");
    std::wstring Pack = W(Dir.File("changes.orvikpack"));
    Dialogs.SaveAnswer = {Pack, 1};
    Run([&] { Form->actFileExportPackExecute(); });
    Boxes.Answers = {TMsgResult::No};
    EXPECT_TRUE(Form->CloseDefinition());
    return Pack;
  }

  TState Now() const {
    TState State;
    const TStreamPack& Pack = *Form->Pack();
    for (int32_t I = 0; I < Pack.DescriptionCount(); ++I) {
      const TStreamDescription& D = *Pack.Descriptions(I);
      State.Model.push_back(FieldText(D.Name) + "|" + FieldText(D.Singer) + "|" + FieldText(D.Album));
    }
    for (int32_t S = 0; S < Pack.StreamCount(); ++S)
      for (int32_t K = 0; K < Pack.Streams(S)->SampleCount(); ++K) {
        const TStreamData& Sample = *Pack.Streams(S)->Samples(K);
        TSongDigest Song = DigestOf(*EntryOfSample(Sample));
        State.Model.push_back(std::to_string(S) + "/" + std::to_string(K) + " " +
                              std::to_string(Sample.ArchiveIndex) + "@" + std::to_string(Sample.FileOffset) +
                              " " + std::to_string(Song.Size) + ":" + std::to_string(Song.Crc) + " " +
                              std::to_string(Sample.DescriptionIndex));
      }
    for (const auto& Entry : std::filesystem::directory_iterator(ExtractFilePath(Game)))
      if (Entry.is_regular_file() && Entry.path().filename().string().find('~') == std::string::npos)
        State.Files[Entry.path().filename().string()] = ReadFile(Entry.path().string());
    return State;
  }

  int Pick(int Count) { return std::uniform_int_distribution<int>(0, Count - 1)(Random); }
  TTreeNode* PickNode(int Level) {
    std::vector<TTreeNode*> Nodes;
    for (TTreeNode* Node : Form->treeFiles.AllNodes())
      if (Node->Level() == Level)
        Nodes.push_back(Node);
    return Nodes.empty() ? nullptr : Nodes[static_cast<size_t>(Pick(static_cast<int>(Nodes.size())))];
  }
  bool SelectSample() {
    TTreeNode* Node = PickNode(2);
    Form->treeFiles.Select(Node);
    return Node != nullptr;
  }
  bool SelectDescribed() { return SelectSample() && Form->SelectedSample()->DescriptionIndex >= 0; }

  // One random edit of a kind that the history takes, as a user makes it. Returns the typing field's key
  // when it typed and left the focus in the field (the next typing there joins its step).
  std::string RandomEdit() {
    switch (Pick(12)) {
    case 0:
    case 1: { // typing, the focus left in the field or not
      if (!SelectDescribed())
        return "";
      TEditModel* Fields[] = {&Form->edtName, &Form->edtSinger, &Form->edtAlbum};
      int Field = Pick(3);
      Fields[Field]->UserType(L"Typed " + std::to_wstring(Pick(1000)));
      if (Pick(2) == 0) {
        Form->edtDescriptionExit();
        return "";
      }
      return std::to_string(Field) + ":" + std::to_string(Form->SelectedSample()->DescriptionIndex);
    }
    case 2:
      if (SelectSample())
        Form->cmbDescriptions.UserSelect(Pick(Form->cmbDescriptions.Count()));
      break;
    case 3:
      Input.Entered = L"Added " + std::to_wstring(Pick(1000));
      if (SelectSample())
        Form->btnDescrAddClick();
      break;
    case 4:
      if (SelectDescribed()) {
        Boxes.Answers.push_back(TMsgResult::Yes);
        Form->btnDescRemoveClick();
      }
      break;
    case 5:
      if (SelectSample())
        Form->cmbStreams.UserSelect(Pick(Form->cmbStreams.Count()));
      break;
    case 6:
      if (SelectSample())
        Form->cmbFiles.UserSelect(Pick(Form->cmbFiles.Count()));
      break;
    case 7:
      Form->treeFiles.Select(PickNode(Pick(3)));
      Form->actStreamAddSampleExecute();
      break;
    case 8:
      if (SelectSample())
        Form->actStreamDeleteSampleExecute();
      break;
    case 9:
    case 10: // an import in place of a sample's song, or as a new file of its archive
      if (SelectSample()) {
        Dialogs.OpenAnswers.push_back(Songs[static_cast<size_t>(Pick(3))]);
        Run([&] { Pick(2) == 0 ? Form->actSampleImportExecute() : Form->btnAddFileClick(); });
      }
      break;
    default:
      if (Pick(2) == 0) { // three songs at the end of a stream, one step
        Form->ImportSongs(PickNode(0), {Songs[0], Songs[1], Songs[2]}, true);
      } else {
        Dialogs.OpenAnswers.push_back(Pack);
        Boxes.Answers.push_back(TMsgResult::Yes);
        Run([&] { Form->actFileApplyPackExecute(); });
      }
    }
    return "";
  }
  void Undo() {
    Run([&] { Form->actEditUndoExecute(); });
    ExpectNoError();
  }
  void Redo() {
    Run([&] { Form->actEditRedoExecute(); });
    ExpectNoError();
  }
  void ExpectNoError() {
    std::wstring All;
    for (const TShownMessage& Shown : Boxes.Shown)
      All += Shown.Text + L"\n";
    for (const TShownMessage& Shown : Boxes.Shown)
      EXPECT_NE(Shown.Icon, TMsgIcon::Error) << WideToAnsi(All);
    Boxes.Shown.clear();
  }
  bool Unsaved() const { return Form->DefinitionChanged() || Form->ArchivesChanged(); }

  TScriptedBatchWindow Window;
  std::string RealFolder =
      JoinPath(platform::ProgramFolder(), ORVIK_REAL_SX_FOLDER) + platform::PathDelimiter();
  std::vector<std::wstring> Songs;
  std::wstring Pack;
  std::string Game;
  std::mt19937 Random;
};

// For each seed: random edits, each one step (or joining the typing step before it); then every step
// undone, each back to the state before it, the last to the state at open with nothing to save; every
// step made again; then a random mix of undo, redo and new edits, checked against a plain replay that
// keeps the states in a list with a cursor.
TEST_F(HistoryTest, RandomEditsUndoToTheOpenStateAndRedoToTheLast) {
  Pack = MakePack();
  for (unsigned Seed : {1u, 2u, 3u}) {
    SCOPED_TRACE("seed " + std::to_string(Seed));
    Random.seed(Seed);
    Game = MakeGame("game" + std::to_string(Seed));
    Open(Game);
    std::vector<TState> States = {Now()};
    size_t At = 0; // States[At] is the state now
    std::string OpenTyping;
    auto Edit = [&] {
      std::string Typing = RandomEdit();
      ExpectNoError();
      TState After = Now();
      if (After == States[At])
        return; // an edit that changed nothing is no step
      States.resize(At + 1);
      bool Joins = !OpenTyping.empty() && Typing == OpenTyping;
      if (Joins && After == States[At - 1]) {
        States.pop_back(); // typed back to where the step began: the step is gone
        Typing.clear();
      } else if (Joins) {
        States[At] = After;
      } else {
        States.push_back(After);
      }
      At = States.size() - 1;
      OpenTyping = Typing;
    };
    for (int I = 0; I < 30; ++I)
      Edit();
    ASSERT_GT(States.size(), 10u);

    for (; At > 0; --At) {
      Undo();
      ASSERT_EQ(Now(), States[At - 1]) << "undo " << States.size() - At;
    }
    Form->ApplicationEventsIdle();
    EXPECT_FALSE(Unsaved());
    EXPECT_FALSE(Form->actFileSave.Enabled());
    EXPECT_FALSE(Form->actEditUndo.Enabled());
    EXPECT_EQ(Form->actEditUndo.Caption(), L"Undo");
    for (; At + 1 < States.size(); ++At) {
      Redo();
      ASSERT_EQ(Now(), States[At + 1]) << "redo " << At + 1;
    }
    EXPECT_TRUE(Unsaved());

    OpenTyping.clear();
    for (int I = 0; I < 40; ++I) {
      int Move = Pick(3);
      if (Move == 0 && At > 0) {
        Undo();
        --At;
      } else if (Move == 1 && At + 1 < States.size()) {
        Redo();
        ++At;
      } else {
        Edit();
        continue;
      }
      OpenTyping.clear();
      ASSERT_EQ(Now(), States[At]) << "move " << I;
    }
    // Undone to the start, the files are those at open, and a save writes them as they are, or closing
    // without saving leaves them so; either way nothing of the undone changes is left beside them.
    for (; At > 0; --At)
      Undo();
    if (Seed % 2 == 1) {
      Boxes.Answers = {TMsgResult::Yes}; // the preload archives too
      Run([&] { Form->actFileSaveExecute(); });
      ExpectNoError();
    }
    EXPECT_EQ(Now(), States[0]);
    Boxes.Answers = {TMsgResult::No};
    ASSERT_TRUE(Form->CloseDefinition());
    ExpectNoError();
    EXPECT_TRUE(Dir.Leftovers().empty()) << Dir.Leftovers()[0];
  }
}

} // namespace

#endif
