// Batch imports through the window's logic with the real converter on the demo game: several files from the
// import dialog or dropped on the tree, run in a scripted batch window that starts, watches and cancels
// the batch as a user would.

#include "app/SoundtrackWindow.h"
#include "base/Paths.h"
#include "converter/formats/WaveWriter.h"
#include "platform/Faults.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "tests/app/EditorFixture.h"
#include "tests/app/GatedProcess.h"
#include "tests/app/ScriptedBatchWindow.h"
#include "tests/converter/Signals.h"
#include "tools/make-demo/Demo.h"
#include "workflows/KeptOriginals.h"

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#ifdef ORVIK_REAL_SX_FOLDER

using namespace fixtures;

namespace {

// The soundtrack export's window: picks the format Format, presses Export, and polls until the end.
class TScriptedExportWindow : public IBatchWindow {
public:
  void ShowModal(TBatchWindowModel& Model) override {
    auto& Run = dynamic_cast<TSoundtrackRun&>(Model);
    ASSERT_EQ(Run.Choice, &Run.cboFormat);
    Run.cboFormat.UserSelect(Format);
    for (size_t Row = 0; Row < Run.RowCount(); ++Row)
      Files.push_back(Run.Cell(Row, 0));
    Run.btnStartClick();
    if (!Run.Started()) {
      EXPECT_TRUE(Run.btnCancelClick());
      return;
    }
    while (!Run.Ended()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      Run.Poll();
    }
    for (size_t Row = 0; Row < Run.RowCount(); ++Row)
      Results.push_back(Run.Cell(Row, 2));
    EXPECT_EQ(Run.btnCancel.Caption(), L"Close");
  }
  int Format = 0;
  std::vector<std::wstring> Files, Results;
};

class BatchWindowTest : public EditorTest {
protected:
  BatchWindowTest() {
    demo::MakeDemo(Dir.File("demo"));
    Demo = JoinPath(JoinPath(Dir.File("demo"), "audio"), "streams.dat");
    BatchWindow = &Window;
    ConverterProcess = &Process;
    ShapeDialog = &Shapes;
    Form = NewForm(&RealRunner, RealFolder);
    TKeptOriginals(Demo, "").Decline();
    Open(Demo);
  }
  ~BatchWindowTest() override { Process.OpenGate(); }

  // The node of Data; below the node of Stream when given (an archive has a node in each of its streams).
  TTreeNode* NodeOf(const void* Data, const void* Stream = nullptr) const {
    for (TTreeNode* Node : Form->treeFiles.AllNodes()) {
      TTreeNode* Root = Node;
      while (Root->Parent() != nullptr)
        Root = Root->Parent();
      if (Node->Data == Data && (Stream == nullptr || Root->Data == Stream))
        return Node;
    }
    return nullptr;
  }
  // The demo's definition and archives by name.
  std::map<std::string, Bytes> DemoFiles() const {
    std::map<std::string, Bytes> Files;
    for (const auto& Entry : std::filesystem::directory_iterator(ExtractFilePath(Demo)))
      if (Entry.is_regular_file() && Entry.path().filename().string().find('~') == std::string::npos)
        Files[Entry.path().filename().string()] = ReadFile(Entry.path().string());
    return Files;
  }
  std::vector<std::wstring> Songs(const std::vector<std::string>& Names) {
    std::filesystem::create_directories(Dir.File("songs"));
    std::vector<std::wstring> Paths;
    for (size_t I = 0; I < Names.size(); ++I) {
      std::string Path = JoinPath(Dir.File("songs"), Names[I]);
      WriteFile(Path, Names[I].find("broken") != std::string::npos
                          ? TextBytes("RIFF\x10\x00\x00\x00WAVEnothing here")
                          : sx::WriteWave(sxtest::Sine(22050, 22050 * 2, 220.0 * (I + 1), 0.05 + 0.1 * I)));
      Paths.push_back(W(Path));
    }
    return Paths;
  }
  std::vector<std::wstring> Column(std::wstring TBatchRow::*Field) const {
    std::vector<std::wstring> Texts;
    for (const TBatchRow& Row : Window.After)
      Texts.push_back(Row.*Field);
    return Texts;
  }

  std::string RealFolder =
      JoinPath(platform::ProgramFolder(), ORVIK_REAL_SX_FOLDER) + platform::PathDelimiter();
  std::string Demo;
  TScriptedBatchWindow Window;
  TScriptedShapeDialog Shapes;
  TGatedProcess Process{RealFolder};
};

} // namespace

TEST_F(BatchWindowTest, SeveralFilesFillTheStreamAddTheRestAndKeepTheBrokenOneOut) {
  TStreamPack& Pack = *Form->Pack();
  TEAMusicStream& Stream = *Pack.Streams(1);
  const int32_t Samples = Stream.SampleCount(), Descriptions = Pack.DescriptionCount();
  ASSERT_GE(Samples, 3);
  TStreamData* From = Stream.Samples(Samples - 2);
  const std::string Archive = ExtractFileName(From->Archive()->FileName);
  Form->treeFiles.Select(NodeOf(From));
  // The dialog gives the files in its own order; the batch takes them in natural order.
  Dialogs.OpenManyAnswers.push_back(
      Songs({"D The Band - Fourth.wav", "C broken.wav", "A Singer - First.wav", "B Second.wav"}));
  Run([&] { Form->actSampleImportExecute(); });
  ASSERT_TRUE(Boxes.Shown.empty()) << WideToAnsi(Boxes.Shown[0].Text);

  ASSERT_EQ(Window.Before.size(), 4u);
  const std::wstring Planned[] = {L"A Singer - First.wav", L"B Second.wav", L"C broken.wav",
                                  L"D The Band - Fourth.wav"};
  for (size_t I = 0; I < 4; ++I) {
    EXPECT_EQ(Window.Before[I].File, Planned[I]);
    EXPECT_EQ(Window.Before[I].Result, L"Waiting");
  }
  const std::wstring S1 = L"Stream 1, sample ", InArchive = L" (new, in " + W(Archive) + L")";
  EXPECT_EQ(Window.Before[0].Song, S1 + std::to_wstring(Samples - 2));
  EXPECT_EQ(Window.Before[3].Song, S1 + std::to_wstring(Samples + 1) + InArchive);

  // After: the broken file listed with the converter's reason, the others imported, matched, described; the
  // song after the broken one took the sample that it left.
  ASSERT_EQ(Window.After.size(), 4u);
  EXPECT_NE(Window.After[2].Result.find(L"Failed: "), std::wstring::npos);
  EXPECT_NE(Window.After[2].Result.find(L"not a known sound format"), std::wstring::npos);
  EXPECT_EQ(Window.After[3].Song, S1 + std::to_wstring(Samples) + InArchive);
  for (size_t I : {0u, 1u, 3u}) {
    SCOPED_TRACE(WideToAnsi(Window.After[I].Result));
    EXPECT_EQ(Window.After[I].Result.rfind(I < 2 ? L"Replaced " : L"Added as ", 0), 0u);
    EXPECT_NE(Window.After[I].Loudness.find(L" LUFS"), std::wstring::npos);
    EXPECT_NE(Window.After[I].Gain.find(L" dB"), std::wstring::npos);
  }
  EXPECT_NE(Window.MatchCaption.find(L"target "), std::wstring::npos) << WideToAnsi(Window.MatchCaption);
  EXPECT_NE(std::find(Window.Statuses.begin(), Window.Statuses.end(), L"Imported 3 of 4 file(s); 1 failed."),
            Window.Statuses.end());
  EXPECT_EQ(Form->StatusBar.Text(), L"Imported 3 of 4 file(s); 1 failed.");
  EXPECT_TRUE(Form->DefinitionChanged() && Form->ArchivesChanged());
  ASSERT_EQ(Stream.SampleCount(), Samples + 1);
  EXPECT_EQ(FieldText(Pack.Descriptions(Stream.Samples(Samples - 2)->DescriptionIndex)->Name), "First");
  EXPECT_EQ(FieldText(Pack.Descriptions(Stream.Samples(Samples - 2)->DescriptionIndex)->Singer), "A Singer");
  EXPECT_EQ(FieldText(Pack.Descriptions(Stream.Samples(Samples)->DescriptionIndex)->Singer), "D The Band");
  EXPECT_GT(Pack.DescriptionCount(), Descriptions);
  EXPECT_EQ(Form->cmbDescriptions.Count(), Pack.DescriptionCount() + 1) << "the new descriptions are offered";
  EXPECT_NE(NodeOf(Stream.Samples(Samples)), nullptr) << "the tree shows the new sample";

  // The definition's loudness is measured once: a second batch measures only its own files, each in its
  // conversion.
  const size_t Measures = Process.RunsWith("-measure"), Matched = Process.RunsWith("-loudness=");
  Window.After.clear();
  Form->treeFiles.Select(NodeOf(Stream.Samples(0)));
  Dialogs.OpenManyAnswers.push_back(Songs({"a.wav", "b.wav"}));
  Run([&] { Form->actSampleImportExecute(); });
  ASSERT_EQ(Window.After.size(), 2u);
  EXPECT_EQ(Process.RunsWith("-measure"), Measures);
  EXPECT_EQ(Process.RunsWith("-loudness="), Matched + 2);

  // Saved and opened again, the samples and their songs are there.
  Boxes.Answers.push_back(TMsgResult::No); // no preload update
  Run([&] { Form->actFileSaveExecute(); });
  ASSERT_TRUE(Form->CloseDefinition());
  Open(Demo);
  ASSERT_NE(Form->Pack(), nullptr);
  EXPECT_EQ(Form->Pack()->Streams(1)->SampleCount(), Samples + 1);
  EXPECT_TRUE(Boxes.Shown.size() == 1 && Boxes.Shown[0].Buttons == TMsgButtons::YesNo)
      << "only the preload question";
}

// Trim and Fade... before the start, on songs of 2 s, 4 s and one the converter cannot read, step by step:
// the rows selected, what the dialog is given and shows, what it refuses, and the shapes of all three rows.
TEST_F(BatchWindowTest, TrimAndFadeShapesTheSelectedRowsAndRefusesWhatNoSongCouldTake) {
  std::filesystem::create_directories(Dir.File("songs"));
  std::vector<std::wstring> Paths;
  for (const auto& [Name, Seconds] : {std::pair{"a.wav", 2}, {"b.wav", 4}, {"c broken.wav", 0}}) {
    Paths.push_back(W(JoinPath(Dir.File("songs"), Name)));
    WriteFile(WideToAnsi(Paths.back()), Seconds > 0
                                            ? sx::WriteWave(sxtest::Sine(22050, 22050 * Seconds, 440, 0.3))
                                            : TextBytes("RIFF"));
  }
  const std::wstring Both = L"Lengths of the 2 songs: from 0:02 (a.wav) to 0:04 (b.wav)";
  struct TStep {
    std::vector<size_t> Selected;
    std::vector<TShapeFields> Answers; // then Cancel
    std::wstring Lengths;
    TShapeFields Filled;                // the fields when the dialog first shows
    std::vector<std::wstring> Refusals; // one per answer refused
    std::vector<std::wstring> Shapes;   // of the three rows afterwards
  };
  const TStep Steps[] = {
      {{1},
       {{L"3", L"", L"2"}, {L" 3 ", L"", L"1"}},
       L"Length of \"b.wav\": 0:04",
       {},
       {L"The fade-out (2 s) is longer than what is left of \"b.wav\" (1 s)."},
       {L"", L"0:03-end, fade 1 s", L""}},
      {{0, 1},
       {{L"2.5", L"", L""}},
       Both,
       {},
       {L"The start (0:02.5) lies at or past the end of \"a.wav\", which is 0:02 long."},
       {L"", L"0:03-end, fade 1 s", L""}},
      {{0, 1},
       {{L"1,5", L"", L""}, {L"", L"1:00.5", L"0.5"}},
       Both,
       {},
       {L"Start: \"1,5\" is not a time. Give seconds (75.5) or minutes and seconds (1:15.5), or nothing."},
       {L"0:00-1:00.5, fade 0.5 s", L"0:00-1:00.5, fade 0.5 s", L""}},
      {{0, 1}, {{L"", L"", L""}}, Both, {L"", L"60.5", L"0.5"}, {}, {L"", L"", L""}},
      {{2},
       {{L"1", L"0:00.5", L""}, {L"", L"", L"86400.001"}},
       L"The converter could not measure \"c broken.wav\"",
       {},
       {L"The end (0:00.5) must come after the start (0:01).",
        L"Fade out: 86400.001 is past a day (86400 seconds), the longest time the converter takes."},
       {L"", L"", L""}},
      {{0, 1, 2},
       {{L"1", L"1.5", L"0.5"}},
       L"Lengths of the 3 songs: from 0:02 (a.wav) to 0:04 (b.wav); 1 could not be measured",
       {},
       {},
       {L"0:01-0:01.5, fade 0.5 s", L"0:01-0:01.5, fade 0.5 s", L"0:01-0:01.5, fade 0.5 s"}},
  };
  Window.Start = false;
  Window.BeforeStart = [&](TBatchRun& Run) {
    EXPECT_FALSE(Run.btnShape.Enabled()) << "no row is selected";
    for (const TStep& Step : Steps) {
      SCOPED_TRACE(WideToAnsi(Step.Lengths));
      Run.SelectRows(Step.Selected);
      ASSERT_TRUE(Run.btnShape.Enabled());
      Shapes.Answers.assign(Step.Answers.begin(), Step.Answers.end());
      Shapes.Shown.clear();
      Boxes.Shown.clear();
      Run.RowActionClick();
      ASSERT_FALSE(Shapes.Shown.empty());
      EXPECT_EQ(Shapes.Shown[0].first, Step.Lengths);
      EXPECT_TRUE(Shapes.Shown[0].second == Step.Filled) << WideToAnsi(Shapes.Shown[0].second.End);
      std::vector<std::wstring> Refused;
      for (const TShownMessage& Box : Boxes.Shown)
        Refused.push_back(Box.Text);
      EXPECT_EQ(Refused, Step.Refusals);
      // A refused answer comes back in the dialog as typed.
      for (size_t I = 1; I < Shapes.Shown.size(); ++I)
        EXPECT_TRUE(Shapes.Shown[I].second == Step.Answers[I - 1]);
      std::vector<std::wstring> Shown;
      for (size_t Row = 0; Row < 3; ++Row)
        Shown.push_back(Run.Cell(Row, 3));
      EXPECT_EQ(Shown, Step.Shapes);
    }
    Run.SelectRows({});
    EXPECT_FALSE(Run.btnShape.Enabled());
  };
  Run([&] { Form->treeFilesDropFiles(NodeOf(Form->Pack()->Streams(0)), Paths); });
  EXPECT_EQ(std::count(Screen.History.begin(), Screen.History.end(), TCursor::HourGlass), 3)
      << "each song is measured once, when first selected";
}

TEST_F(BatchWindowTest, ACancelStopsAfterTheSongsInHandAndADiscardUndoesThem) {
  const std::map<std::string, Bytes> Before = DemoFiles();
  TEAMusicStream& Stream = *Form->Pack()->Streams(0);
  const int32_t Samples = Stream.SampleCount();
  // Songs 2 and 3 are held in conversion until the user has pressed Cancel, once song 1 is in.
  Process.Held = "held";
  Window.CancelWhen = [](TBatchRun& Run) { return Run.Rows[1].Result.rfind(L"Added as ", 0) == 0; };
  Window.AfterCancel = [&] { Process.OpenGate(); };
  Window.Match = false;
  std::vector<std::wstring> Paths = Songs({"1 a.wav", "2 b.wav", "3 held.wav", "4 held.wav", "5 e.wav"});
  // Dropped on the stream's archive node: each file a new sample of that archive.
  TTreeNode* ArchiveNode = NodeOf(Stream.Samples(0)->Archive(), &Stream);
  ASSERT_NE(ArchiveNode, nullptr);
  Run([&] { Form->treeFilesDropFiles(ArchiveNode, Paths); });
  ASSERT_EQ(Window.After.size(), 5u);
  // The two held songs were in hand when Cancel came: they are finished; the last had not started.
  const std::wstring Results[] = {L"Added as 1 a.asf", L"Added as 2 b.asf", L"Added as 3 held.asf",
                                  L"Added as 4 held.asf", L"Not imported"};
  for (size_t I = 0; I < 5; ++I)
    EXPECT_EQ(Window.After[I].Result.substr(0, Results[I].size()), Results[I]) << I;
  EXPECT_EQ(Column(&TBatchRow::Gain), (std::vector<std::wstring>(5, L""))) << "matching was off";
  EXPECT_EQ(Stream.SampleCount(), Samples + 4);
  EXPECT_EQ(Form->StatusBar.Text(), L"Imported 4 of 5 file(s); stopped by Cancel.");

  // Discarded: the files are as they were at open.
  Boxes.Answers.push_back(TMsgResult::No);
  ASSERT_TRUE(Form->CloseDefinition());
  EXPECT_EQ(DemoFiles(), Before);
}

// A write into the archive that fails stops the batch with the error; the songs written before stay as
// unsaved changes, and a discard undoes them.
TEST_F(BatchWindowTest, AWriteThatFailsStopsTheBatchAndADiscardUndoesWhatWasWritten) {
  const std::map<std::string, Bytes> Before = DemoFiles();
  TEAMusicStream& Stream = *Form->Pack()->Streams(0);
  const int32_t Samples = Stream.SampleCount();
  // Once the first song is in, the disk is full; the others wait for that in their conversion.
  Process.Held = "held";
  bool Armed = false;
  Window.OnPoll = [&](TBatchRun& Run) {
    if (!Armed && Run.Rows[0].Result.rfind(L"Added as ", 0) == 0) {
      Armed = true;
      platform::InjectFault(platform::FaultKind::Flush, 1, platform::DiskFullError(), true);
      Process.OpenGate();
    }
  };
  Window.Match = false;
  std::vector<std::wstring> Paths = Songs({"1 a.wav", "2 held.wav", "3 held.wav"});
  Run([&] { Form->treeFilesDropFiles(NodeOf(Stream.Samples(0)->Archive(), &Stream), Paths); });
  platform::ClearFaults();
  ASSERT_TRUE(Armed);
  ASSERT_EQ(Window.After.size(), 3u);
  EXPECT_EQ(Window.After[0].Result, L"Added as 1 a.asf, new description");
  EXPECT_EQ(Window.After[1].Result, L"Not imported");
  EXPECT_EQ(Window.After[2].Result, L"Not imported");
  EXPECT_EQ(Form->StatusBar.Text().rfind(L"The import stopped: ", 0), 0u)
      << WideToAnsi(Form->StatusBar.Text());
  ASSERT_EQ(Boxes.Shown.size(), 1u) << "the error is reported";
  EXPECT_EQ(Boxes.Shown[0].Icon, TMsgIcon::Error);
  EXPECT_EQ(Stream.SampleCount(), Samples + 1);
  EXPECT_TRUE(Form->DefinitionChanged());

  Boxes.Answers.push_back(TMsgResult::No);
  ASSERT_TRUE(Form->CloseDefinition());
  EXPECT_EQ(DemoFiles(), Before);
  EXPECT_TRUE(Dir.Leftovers().empty());
}

// Where files go by the node they are dropped on, as the batch window lists them before the start; a
// window closed before the start changes nothing.
TEST_F(BatchWindowTest, TheDropTargetDecidesWhereTheFilesGo) {
  Window.Start = false;
  TStreamPack& Pack = *Form->Pack();
  TEAMusicStream& Stream = *Pack.Streams(1);
  const int32_t N = Stream.SampleCount();
  TStreamData* Last = Stream.Samples(N - 1);
  std::wstring LastArchive = W(ExtractFileName(Last->Archive()->FileName));
  std::wstring FirstArchive = W(ExtractFileName(Pack.Archives(0)->FileName));
  int32_t Empty = -1;
  for (int32_t I = 0; I < Pack.StreamCount() && Empty < 0; ++I)
    if (Pack.Streams(I)->SampleCount() == 0)
      Empty = I;
  struct TCase {
    const void* Data;
    const void* Stream;
    std::vector<std::wstring> Songs;
  };
  std::wstring S1 = L"Stream 1, sample ";
  std::vector<TCase> Cases = {
      {Last,
       &Stream,
       {S1 + std::to_wstring(N - 1), S1 + std::to_wstring(N) + L" (new, in " + LastArchive + L")"}},
      // The song of sample 1 is also Stream 2's: it gets an entry of its own.
      {&Stream, &Stream, {S1 + L"0", S1 + L"1, new entry (the old one is shared with Stream 2, sample 4)"}},
      {Last->Archive(),
       &Stream,
       {S1 + std::to_wstring(N) + L" (new, in " + LastArchive + L")",
        S1 + std::to_wstring(N + 1) + L" (new, in " + LastArchive + L")"}},
  };
  if (Empty >= 0)
    Cases.push_back({Pack.Streams(Empty),
                     Pack.Streams(Empty),
                     {L"Stream " + std::to_wstring(Empty) + L", sample 0 (new, in " + FirstArchive + L")",
                      L"Stream " + std::to_wstring(Empty) + L", sample 1 (new, in " + FirstArchive + L")"}});
  const std::map<std::string, Bytes> Before = DemoFiles();
  std::vector<std::wstring> Paths = Songs({"x.wav", "y.wav"});
  for (const TCase& Case : Cases) {
    TTreeNode* Target = NodeOf(Case.Data, Case.Stream);
    ASSERT_NE(Target, nullptr);
    SCOPED_TRACE(WideToAnsi(Target->Text));
    Window.Before.clear();
    Run([&] { Form->treeFilesDropFiles(Target, Paths); });
    ASSERT_TRUE(Boxes.Shown.empty()) << WideToAnsi(Boxes.Shown[0].Text);
    ASSERT_EQ(Window.Before.size(), 2u);
    EXPECT_EQ(Window.Before[0].Song, Case.Songs[0]);
    EXPECT_EQ(Window.Before[1].Song, Case.Songs[1]);
    // The title each file replaces: none for a new sample.
    const TStreamData* First = Case.Data == Last ? Last : Case.Data == &Stream ? Stream.Samples(0) : nullptr;
    ASSERT_TRUE(First == nullptr || First->Description() != nullptr);
    EXPECT_EQ(Window.Before[0].Replaces, First ? W(FieldText(First->Description()->Name)) : L"");
  }
  EXPECT_EQ(Stream.SampleCount(), N);
  EXPECT_FALSE(Form->DefinitionChanged() || Form->ArchivesChanged());
  EXPECT_EQ(DemoFiles(), Before);
}

#endif

// File > Export Soundtrack: a folder proposed beside the definition, the format chosen in the batch window,
// every song written and listed; the next export into the same folder asks before it replaces anything.
TEST_F(BatchWindowTest, TheSoundtrackGoesOutInTheFormatChosenAndAsksBeforeReplacing) {
  TScriptedExportWindow Export;
  BatchWindow = &Export;
  Form = NewForm(&RealRunner, RealFolder);
  Open(Demo);
  Form->ApplicationEventsIdle();
  ASSERT_TRUE(Form->actFileExportSoundtrack.Enabled());
  const std::string Folder = JoinPath(ExtractFilePath(Demo), "Soundtrack");
  Dialogs.FolderAnswer = Folder;
  Export.Format = 1; // Wave
  Run([&] { Form->actFileExportSoundtrackExecute(); });
  ASSERT_EQ(Dialogs.FolderSeen.size(), 1u);
  EXPECT_EQ(Dialogs.FolderSeen[0].Folder, Folder);
  ASSERT_EQ(Export.Files.size(), 12u);
  EXPECT_EQ(Export.Files[0], L"The Offside Trap - Kick Off.wav");
  EXPECT_EQ(Export.Results, std::vector<std::wstring>(12, L"Written"));
  EXPECT_TRUE(platform::IsFile(JoinPath(Folder, "The Offside Trap - Kick Off.wav")));
  EXPECT_TRUE(platform::IsFile(JoinPath(Folder, "Stream 2.m3u8")));
  EXPECT_EQ(Form->StatusBar.Text(), L"Wrote 12 of 12 song(s) and 3 playlist(s) to " + W(Folder) + L".");

  for (TMsgResult Answer : {TMsgResult::No, TMsgResult::Yes}) {
    SCOPED_TRACE(Answer == TMsgResult::Yes ? "replaced" : "kept");
    Export.Files.clear();
    Export.Results.clear();
    Boxes.Shown.clear();
    Boxes.Answers = {Answer};
    Run([&] { Form->actFileExportSoundtrackExecute(); });
    ASSERT_EQ(Boxes.Shown.size(), 1u);
    EXPECT_EQ(Boxes.Shown[0].Text,
              L"15 of the files are in the folder already, among them \"The Offside Trap - Kick Off.wav\". "
              L"Replace them?");
    EXPECT_EQ(Export.Results.size(), Answer == TMsgResult::Yes ? 12u : 0u);
  }
}
