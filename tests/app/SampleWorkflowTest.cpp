#include "base/Paths.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "tests/app/EditorFixture.h"

#include <algorithm>
#include <filesystem>

using namespace fixtures;

namespace {

std::wstring ConverterProgram() {
  return W(platform::ProgramFolder() + "sx" + platform::PathDelimiter() + "sx" +
           platform::ExecutableSuffix());
}

// What the fake converter writes for an input.
Bytes FakeOutput(const std::string& Options, const Bytes& Input) {
  return Concat({TextBytes("FAKE " + Options + "\n"), Input});
}

Bytes EntryBytes(TEAStreamFile* Entry, const TempDir& Dir) {
  Entry->SaveToFile(Dir.File("entry.bin"));
  return ReadFile(Dir.File("entry.bin"));
}

} // namespace

TEST_F(EditorTest, ExportRunsTheConverterWithTheOptionOfEachFormat) {
  OpenStandard();
  Select({0, 0, 0});
  struct Case {
    int Index;
    const char* Option;
    bool Tagged; // the sample's description goes along as tags
  } Cases[] = {{1, "-wave ", true},
               {2, "-pcstream -eaxa_blk ", false},
               {3, "-pcstream -s16l_blk ", false},
               {4, "-pcstream -s8_blk ", false},
               {5, "-pcstream -mt_blk ", false},
               {6, "-pcstream -mt5_blk ", false},
               {7, "-aiff ", true},
               {8, "-flac ", true},
               {0, "-wave ", true},
               {9, "-wave ", true}};
  const std::string Tags = "-title=\"Name0\" -artist=\"Singer0\" -album=\"Album0\" ";
  std::filesystem::create_directory(Dir.File("my exports"));
  std::wstring LastParameters;
  for (const Case& C : Cases) {
    std::string Out =
        Dir.File("my exports") + platform::PathDelimiter() + "song " + std::to_string(C.Index) + ".out";
    Form->actSampleExportDialog.FileName = W(Out);
    Form->actSampleExportDialog.FilterIndex = C.Index;
    Runner.Runs.clear();
    Form->actSampleExportAccept();
    ASSERT_EQ(Runner.Runs.size(), 1u);
    const TRecordingRunner::TRun& Run = Runner.Runs[0];
    LastParameters = Run.Parameters;
    EXPECT_EQ(Run.Program, ConverterProgram());
    EXPECT_EQ(Run.Folder, W(platform::ProgramFolder() + "sx"));
    EXPECT_EQ(Run.ShowMode, 0);
    std::wstring Prefix = W(C.Option + (C.Tagged ? Tags : "")) + L"\"" + W(Dir.ScratchPath());
    EXPECT_EQ(Run.Parameters.substr(0, Prefix.size()), Prefix) << "index " << C.Index;
    std::wstring Suffix = L".asf\" -=\"" + W(Out) + L"\"";
    ASSERT_GE(Run.Parameters.size(), Suffix.size());
    EXPECT_EQ(Run.Parameters.substr(Run.Parameters.size() - Suffix.size()), Suffix) << "index " << C.Index;
    std::string Options =
        std::string(C.Option) + (C.Tagged ? "-title=Name0 -artist=Singer0 -album=Album0 " : "");
    std::string Trimmed = Options.substr(0, Options.size() - 1);
    EXPECT_EQ(ReadFile(Out), FakeOutput(Trimmed, A[0].Data)) << "index " << C.Index;
    EXPECT_TRUE(Dir.ScratchFiles().empty()) << "the extracted sample was left behind";
  }
  EXPECT_TRUE(Boxes.Shown.empty());
  EXPECT_EQ(Form->StatusBar.Text(), L"");
  // The converter really ran in its own folder, with the command line as built.
  std::vector<std::string> Logged = ConverterRuns();
  ASSERT_EQ(Logged.size(), std::size(Cases));
  EXPECT_EQ(W(Logged[0].substr(0, Logged[0].find('|'))) + static_cast<wchar_t>(platform::PathDelimiter()),
            W(platform::ProgramFolder() + "sx") + static_cast<wchar_t>(platform::PathDelimiter()));
  // Windows hands the command line over as built; natively it arrives split into arguments.
  std::wstring Last = L"\"" + ConverterProgram() + L"\" " + LastParameters;
  std::wstring Expected = Last;
  if (std::string(platform::ExecutableSuffix()).empty()) {
    Expected.clear();
    for (const std::wstring& Argument : platform::SplitCommandLine(Last))
      Expected += (Expected.empty() ? L"" : L" ") + Argument;
  }
  EXPECT_EQ(W(Logged.back().substr(Logged.back().find('|') + 1)), Expected);

  // A converter that writes nothing is reported with its own reason, also over a file that was there
  // before, which stays; the hourglass shows while it runs and is gone before the message.
  SetEnvironmentVariable("ORVIK_FAKE_SX_FAIL", "Unsupported sample format: 12-bit");
  WriteFile(Dir.File("existing.wav"), Pattern(40, 9));
  for (const char* Name : {"never.wav", "existing.wav"}) {
    Boxes.Shown.clear();
    Screen.History.clear();
    std::vector<TCursor> CursorAtMessage;
    Boxes.OnShow = [&] { CursorAtMessage.push_back(Screen.Cursor()); };
    Form->actSampleExportDialog.FileName = W(Dir.File(Name));
    Form->actSampleExportAccept();
    Boxes.OnShow = nullptr;
    ASSERT_EQ(Boxes.Shown.size(), 1u) << Name;
    std::wstring Expected = L"Unable to convert the selected sample" + W(platform::LineBreak()) +
                            L"Unsupported sample format: 12-bit: " + W(Dir.ScratchPath());
    EXPECT_EQ(Boxes.Shown[0].Text.substr(0, Expected.size()), Expected);
    EXPECT_EQ(Boxes.Shown[0].Text.substr(Boxes.Shown[0].Text.size() - 4), L".asf")
        << "no trailing line break";
    EXPECT_EQ(Boxes.Shown[0].Icon, TMsgIcon::Error);
    EXPECT_EQ(Screen.History, (std::vector<TCursor>{TCursor::HourGlass, TCursor::Default}));
    EXPECT_EQ(CursorAtMessage, std::vector<TCursor>{TCursor::Default});
    EXPECT_TRUE(Dir.ScratchFiles().empty());
    EXPECT_TRUE(Dir.Leftovers().empty());
  }
  EXPECT_EQ(ReadFile(Dir.File("existing.wav")), Pattern(40, 9));
  EXPECT_FALSE(platform::IsFile(Dir.File("never.wav")));
}

TEST_F(EditorTest, TheExportDialogProposesTheFileNameAndFollowsTheFilter) {
  OpenStandard();
  Form->actSampleExportDialog.FileName = L"previous.wav";
  Form->actSampleExportDialog.FilterIndex = 7;
  Select({0});
  Form->actSampleExportBeforeExecute();
  EXPECT_EQ(Form->actSampleExportDialog.FileName, L"previous.wav") << "no sample selected: the name stays";
  Select({0, 0, 0});
  Form->actSampleExportBeforeExecute();
  EXPECT_EQ(Form->actSampleExportDialog.FileName, L"music\\a1.asf");
  EXPECT_EQ(Form->actSampleExportDialog.FilterIndex, 2);

  struct Case {
    std::wstring Folder, Name;
    int Index;
    std::wstring Box;
  } Cases[] = {
      {L"C:\\Out", L"C:\\Out\\song.asf", 1, L"song.wav"},
      {L"C:\\Out", L"C:\\Out\\song.wav", 7, L"song.aif"},
      {L"C:\\Out", L"C:\\Out\\song.aif", 4, L"song.asf"},
      {L"C:\\Out", L"c:\\OUT\\song.asf", 1, L"song.wav"},
      {L"C:\\Out", L"D:\\x\\song.asf", 1, L"D:\\x\\song.wav"},
      {L"C:\\Out", L"C:\\Out\\song", 2, L"song.asf"},
      {L"C:\\Out", L"C:\\Out\\a.b\\song", 1, L"C:\\Out\\a.b\\song.wav"},
      {L"C:\\Out", L"C:\\Out\\song.wav", 8, L"song.flac"},
      {L"C:\\Out", L"C:\\Out\\song.asf", 9, L"song.asf"},
  };
  for (const Case& C : Cases) {
    TScriptedDialogs::TTypeChange Change;
    Change.Folder = C.Folder;
    Change.Name = C.Name;
    Change.Index = C.Index;
    Form->actSampleExportTypeChange(Change);
    EXPECT_EQ(Change.Box, C.Box) << WideToAnsi(C.Name) << " " << C.Index;
  }

  // Through the dialog: the filter string, then the confirmed choice is exported.
  Dialogs.SaveAnswer = {{W(Dir.File("out.aif")), 7}};
  Form->actSampleExportExecute();
  ASSERT_EQ(Dialogs.SaveSeen.size(), 1u);
  EXPECT_EQ(Dialogs.SaveSeen[0].FileName, L"music\\a1.asf");
  EXPECT_EQ(Dialogs.SaveSeen[0].Filter.substr(0, 46), L"Wave Audio (*.wav)|*.wave|EA Sports PC Stream ");
  EXPECT_EQ(ReadFile(Dir.File("out.aif")),
            FakeOutput("-aiff -title=Name0 -artist=Singer0 -album=Album0", A[0].Data));
}

TEST_F(EditorTest, PreviewPlaysAConvertedCopyUntilStopped) {
  OpenStandard();
  Select({0, 1, 0});
  Form->actSamplePreviewExecute();
  ASSERT_EQ(Sound.Played.size(), 1u);
  std::string Playing = Sound.Playing;
  EXPECT_EQ(ExtractFilePath(Playing), Dir.ScratchPath());
  EXPECT_EQ(ExtractFileExt(Playing), ".wav");
  EXPECT_EQ(ReadFile(Playing), FakeOutput("-wave", B[0].Data));
  EXPECT_EQ(Form->actSamplePreview.Caption(), L"Stop");
  EXPECT_EQ(Form->actSamplePreview.ImageIndex(), 5);
  EXPECT_EQ(Form->StatusBar.Text(), L"Playing...");
  EXPECT_EQ(Dir.ScratchFiles().size(), 1u) << "only the playing file stays";

  Select({0}); // another node: the sound goes on
  EXPECT_TRUE(Form->PreviewPlaying());
  Form->actSamplePreviewExecute();
  EXPECT_TRUE(Sound.Playing.empty());
  EXPECT_FALSE(platform::IsFile(Playing));
  EXPECT_EQ(Form->actSamplePreview.Caption(), L"Preview");
  EXPECT_EQ(Form->actSamplePreview.ImageIndex(), 4);
  EXPECT_EQ(Form->StatusBar.Text(), L"");

  // Opening another definition stops a playing preview and deletes its file.
  Select({0, 0, 0});
  Form->actSamplePreviewExecute();
  Playing = Sound.Playing;
  ASSERT_TRUE(platform::IsFile(Playing));
  OpenStandard();
  EXPECT_FALSE(Form->PreviewPlaying());
  EXPECT_FALSE(platform::IsFile(Playing));
  EXPECT_TRUE(Dir.ScratchFiles().empty());

  // A preview whose conversion fails stays idle and says why, with the hourglass only while it converted.
  SetEnvironmentVariable("ORVIK_FAKE_SX_FAIL", "Cannot open file");
  Select({0, 0, 0});
  Screen.History.clear();
  Form->actSamplePreviewExecute();
  EXPECT_FALSE(Form->PreviewPlaying());
  EXPECT_EQ(Sound.Played.size(), 2u);
  ASSERT_EQ(Boxes.Shown.size(), 1u);
  std::wstring Expected = L"Unable to convert the selected sample" + W(platform::LineBreak()) +
                          L"Cannot open file: " + W(Dir.ScratchPath());
  EXPECT_EQ(Boxes.Shown[0].Text.substr(0, Expected.size()), Expected);
  EXPECT_EQ(Screen.History, (std::vector<TCursor>{TCursor::HourGlass, TCursor::Default}));
  EXPECT_TRUE(Dir.ScratchFiles().empty());
  EXPECT_TRUE(Form->TntFormCloseQuery());
}

TEST_F(EditorTest, ImportReplacesTheSamplesDataOrAddsANewFile) {
  std::filesystem::create_directory(Dir.File("new songs"));
  std::string Input = Dir.File("new songs") + platform::PathDelimiter() + "My Song.wav";
  Bytes Recording = Pattern(333, 20);
  WriteFile(Input, Recording);
  Bytes Imported = FakeOutput("-pcstream -eaxa_blk", Recording);
  OpenStandard();
  Select({0, 0, 0}); // a1, shared with stream 1
  TStreamData* Sample = Form->SelectedSample();

  Dialogs.OpenAnswers.push_back(W(Input));
  Form->actSampleImportExecute();
  ASSERT_EQ(Runner.Runs.size(), 1u);
  EXPECT_EQ(Runner.Runs[0].Parameters.substr(0, 34), L"-pcstream -eaxa_blk \"" + W(Input).substr(0, 13));
  EXPECT_EQ(EntryBytes(Sample->StreamFile(), Dir), Imported);
  EXPECT_EQ(Form->Pack()->Streams(1)->Samples(0)->StreamFile(), Sample->StreamFile())
      << "the shared sample was lost";
  EXPECT_TRUE(Form->DefinitionChanged());
  EXPECT_TRUE(Form->ArchivesChanged());
  EXPECT_EQ(Form->SelectedSample(), Sample) << "the tree was not rebuilt around the sample";
  EXPECT_EQ(Screen.Cursor(), TCursor::Default);
  EXPECT_EQ(Form->StatusBar.Text(), L"");
  // The converted song is kept beside the definition until the next save, so that a crash cannot lose the
  // import; nothing stays in the temporary folder.
  EXPECT_TRUE(Dir.ScratchFiles().empty());
  std::vector<std::string> Kept;
  ASSERT_EQ(platform::FilesInFolder(TWriteJournal::SongFolderFor(Dir.File("streams.dat")), Kept), 0);
  ASSERT_EQ(Kept.size(), 1u);
  EXPECT_EQ(ReadFile(JoinPath(TWriteJournal::SongFolderFor(Dir.File("streams.dat")), Kept[0])), Imported);

  // Add: a new file named after the input, only the definition flag.
  Boxes.Answers = {TMsgResult::Yes, TMsgResult::No};
  OpenStandard();    // saves first
  Select({0, 1, 0}); // b1
  Sample = Form->SelectedSample();
  Dialogs.OpenAnswers.push_back(W(Input));
  Form->btnAddFileClick();
  TEAStream* Archive = Form->Pack()->Archives(1);
  ASSERT_EQ(Archive->FileCount(), 3);
  EXPECT_EQ(Sample->StreamFile()->Name, "My Song.asf");
  EXPECT_EQ(EntryBytes(Sample->StreamFile(), Dir), Imported);
  EXPECT_TRUE(Form->DefinitionChanged());
  EXPECT_FALSE(Form->ArchivesChanged());
  EXPECT_EQ(Form->treeFiles.Selected()->Text, L"My Song.asf");
  // The archive as it was before the add is kept beside it, by a rename, until the next save or close,
  // and the journal says so; the converted song is kept in the songs folder.
  EXPECT_TRUE(Dir.ScratchFiles().empty());
  std::vector<std::string> Left = Dir.Leftovers();
  std::sort(Left.begin(), Left.end());
  EXPECT_EQ(Left, (std::vector<std::string>{Dir.File("B.big.~undo"), Dir.File("streams.dat.~journal"),
                                            Dir.File("streams.dat.~songs")}));
  EXPECT_EQ(ReadFile(Dir.File("B.big.~undo")), MakeBigf(B));

  // Import, save, reopen: the new bytes are bound to the same samples.
  Boxes.Answers = {TMsgResult::No};
  Form->actFileSaveExecute();
  EXPECT_TRUE(Dir.ScratchFiles().empty());
  EXPECT_TRUE(Dir.Leftovers().empty());
  OpenStandard();
  EXPECT_EQ(EntryBytes(Form->Pack()->Streams(0)->Samples(0)->StreamFile(), Dir), Imported);
  EXPECT_EQ(EntryBytes(Form->Pack()->Streams(1)->Samples(0)->StreamFile(), Dir), Imported);
  EXPECT_EQ(Form->Pack()->Streams(0)->Samples(1)->StreamFile()->Name, "My Song.asf");
  EXPECT_EQ(EntryBytes(Form->Pack()->Streams(0)->Samples(2)->StreamFile(), Dir), A[1].Data);
}

TEST_F(EditorTest, AnImportTheConverterCannotReadChangesNothing) {
  OpenStandard();
  Select({0, 0, 1});
  std::vector<Bytes> Before = Snapshot();
  SetEnvironmentVariable("ORVIK_FAKE_SX_FAIL", "Unknown input format");
  std::vector<std::wstring> StatusAtMessage;
  Boxes.OnShow = [&] { StatusAtMessage.push_back(Form->StatusBar.Text()); };
  for (bool Add : {false, true}) {
    Dialogs.OpenAnswers.push_back(W(Dir.File("unreadable.mp3")));
    if (Add)
      Form->btnAddFileClick();
    else
      Form->actSampleImportExecute();
    ASSERT_FALSE(Boxes.Shown.empty());
    EXPECT_EQ(Boxes.Shown.back().Text, L"Unable to convert the input file" + W(platform::LineBreak()) +
                                           L"Unknown input format: " + W(Dir.File("unreadable.mp3")));
    EXPECT_EQ(Boxes.Shown.back().Icon, TMsgIcon::Error);
    EXPECT_EQ(Snapshot(), Before);
    EXPECT_FALSE(Form->DefinitionChanged());
    EXPECT_FALSE(Form->ArchivesChanged());
    EXPECT_EQ(Form->treeFiles.Selected(), Node({0, 0, 1})) << "the tree was not rebuilt";
    EXPECT_EQ(Screen.Cursor(), TCursor::Default);
    EXPECT_TRUE(Dir.ScratchFiles().empty());
  }
  EXPECT_EQ(StatusAtMessage, (std::vector<std::wstring>{L"", L""})) << "the status still said Converting...";
}

TEST_F(EditorTest, ClosingWithoutSavingPutsTheArchivesBackAsTheyWere) {
  std::string Input = Dir.File("take2.wav");
  WriteFile(Input, Pattern(150, 30));
  std::vector<Bytes> AtOpen = Snapshot();
  OpenStandard();
  // Replace, add, replace again, all in archive A; and a replace in B.
  Select({0, 0, 1});
  Dialogs.OpenAnswers.push_back(W(Input));
  Form->actSampleImportExecute();
  Select({0, 0, 0});
  Dialogs.OpenAnswers.push_back(W(Input));
  Form->btnAddFileClick();
  Select({1, 0, 0});
  Dialogs.OpenAnswers.push_back(W(Input));
  Form->actSampleImportExecute();
  Select({0, 1, 0});
  Dialogs.OpenAnswers.push_back(W(Input));
  Form->actSampleImportExecute();
  ASSERT_NE(Snapshot(), AtOpen);

  Boxes.Answers = {TMsgResult::No};
  EXPECT_TRUE(Form->TntFormCloseQuery());
  EXPECT_EQ(Snapshot(), AtOpen) << "an archive kept what the unsaved imports wrote";
  EXPECT_TRUE(Dir.ScratchFiles().empty()) << "a kept copy was left behind";
  Boxes.Shown.clear();
  OpenStandard();
  EXPECT_TRUE(Boxes.Shown.empty());
  ASSERT_NE(Form->Pack(), nullptr);
  EXPECT_EQ(EntryBytes(Form->Pack()->Streams(0)->Samples(0)->StreamFile(), Dir), A[0].Data);
}

TEST_F(EditorTest, SavingAfterAReplaceRebuildsEveryArchive) {
  std::string Input = Dir.File("take3.wav");
  WriteFile(Input, Pattern(90, 40));
  OpenStandard();
  Select({0, 0, 1}); // a2
  Dialogs.OpenAnswers.push_back(W(Input));
  Form->actSampleImportExecute();
  // The progress bar climbs to the end while the status says what runs, then goes.
  std::vector<int> Progress;
  std::wstring Status;
  Form->StatusProgress.Changed = [&] {
    Progress.push_back(Form->StatusProgress.Visible() ? Form->StatusProgress.Permille() : -1);
    Status = Form->StatusBar.Text();
  };
  Boxes.Answers = {TMsgResult::No};
  Form->actFileSaveExecute();
  ASSERT_GE(Progress.size(), 2u);
  EXPECT_TRUE(std::is_sorted(Progress.begin(), Progress.end() - 1)) << "the bar went back";
  EXPECT_EQ(Progress.end()[-2], 1000);
  EXPECT_EQ(Progress.back(), -1) << "the bar stayed after the save";
  EXPECT_EQ(Status, L"Rebuilding archives...");
  EXPECT_FALSE(Form->ArchivesChanged());
  EXPECT_FALSE(Form->DefinitionChanged());
  Bytes NewA2 = FakeOutput("-pcstream -eaxa_blk", Pattern(90, 40));
  // Compact again: the replaced data moved to the end of the directory order.
  EXPECT_EQ(ReadFile(Dir.File("A.big")), MakeBigf({A[0], A[2], {"a2.asf", NewA2}}));
  EXPECT_EQ(ReadFile(Dir.File("B.big")), MakeBigf(B));
  EXPECT_TRUE(Dir.ScratchFiles().empty());

  OpenStandard();
  std::vector<std::pair<std::string, Bytes>> Bound;
  ForEachSample(*Form->Pack(), [&](TStreamData& S) {
    Bound.push_back({S.StreamFile()->Name, EntryBytes(S.StreamFile(), Dir)});
  });
  std::vector<std::pair<std::string, Bytes>> Expected = {
      {"music\\a1.asf", A[0].Data}, {"b1.asf", B[0].Data}, {"a2.asf", NewA2}, {"music\\a1.asf", A[0].Data}};
  EXPECT_EQ(Bound, Expected);
}
