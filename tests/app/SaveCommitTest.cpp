// Save over a pack of three archives with imports, a rebind and a description edit: every OS call of the
// save made to fail in turn; and every write of the window (imports, save, discard, preload update, the
// recovery at open) stopped at every call of the OS seam by a kill or a power cut. Whatever happens, the
// next open brings the files back to the whole state of the last save or the whole new one, by itself,
// and never binds a sample to another song.

#include "app/Messages.h"
#include "base/FileSetCommit.h"
#include "base/Paths.h"
#include "base/Records.h"
#include "definitions/DefinitionSession.h"
#include "definitions/Preload.h"
#include "platform/FileSystem.h"
#include "tests/app/EditorFixture.h"
#include "tests/fixtures/CrashLoop.h"
#include "tests/fixtures/FaultLoop.h"
#include "workflows/JournaledImport.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iostream>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace fixtures;

namespace {

// Writes what the fake converter would, in this process: a fault loop that imports in every run then
// starts no process.
class TInstantConverter : public IConverterRunner {
public:
  bool ExecuteAndWait(const std::wstring&, const std::wstring& Parameters, const std::wstring&, uint16_t,
                      std::string&) override {
    size_t Output = Parameters.rfind(L"-=\"");
    size_t InputEnd = Parameters.rfind(L"\" -=");
    size_t InputStart = Parameters.rfind(L'"', InputEnd - 1);
    Bytes Data = TextBytes("CONVERTED\n");
    Bytes Input = ReadFile(WideToAnsi(Parameters.substr(InputStart + 1, InputEnd - InputStart - 1)));
    Data.insert(Data.end(), Input.begin(), Input.end());
    WriteFile(WideToAnsi(Parameters.substr(Output + 3, Parameters.size() - Output - 4)), Data);
    return true;
  }
};

using Bindings = std::vector<std::pair<std::string, Bytes>>;

class SaveCommitTest : public EditorTest {
protected:
  SaveCommitTest() {
    C = {{"c1.asf", Pattern(70, 6)}, {"c2.asf", Pattern(60, 7)}};
    Input = Dir.File("take.wav");
    WriteFile(Input, Pattern(120, 50));
  }
  std::vector<std::string> Targets() const {
    return {Dir.File("A.big"), Dir.File("B.big"), Dir.File("C.big"), DefPath};
  }
  void WriteFiles() {
    for (const std::string& Path : Dir.Leftovers())
      platform::DeleteFile(Path);
    for (const std::string& Name : Dir.ScratchFiles())
      platform::DeleteFile(Dir.ScratchPath() + Name);
    WriteFile(Dir.File("A.big"), MakeBigf(A));
    WriteFile(Dir.File("B.big"), MakeBigf(B));
    WriteFile(Dir.File("C.big"), MakeBigf(C));
    Definition Def;
    Def.Archives = {"A.big", "B.big", "C.big"};
    Def.Descriptions = {{"Name0", "Singer0", "Album0"}, {"Name1", "Singer1", "Album1"}};
    Def.Streams = {
        {{BigfDataOffset(A, 0), 0, 0},
         {BigfDataOffset(A, 1), 0, 1},
         {BigfDataOffset(B, 0), 1, -1},
         {BigfDataOffset(C, 0), 2, -1}},
        {{BigfDataOffset(A, 0), 0, 0}, {BigfDataOffset(B, 1), 1, 1}, {BigfDataOffset(C, 1), 2, -1}}};
    WriteFile(DefPath, MakeDefinition(Def));
  }
  void SelectSample(int Stream, int Index) {
    TStreamData* Sample = Form->Pack()->Streams(Stream)->Samples(Index);
    for (TTreeNode* Node : Form->treeFiles.AllNodes())
      if (Node->Data == Sample && Node->Level() == 2)
        Form->treeFiles.Select(Node);
    ASSERT_EQ(Form->SelectedSample(), Sample);
  }
  void Import(int Stream, int Index, bool AsNewFile) {
    SelectSample(Stream, Index);
    Dialogs.OpenAnswers.push_back(W(Input));
    if (AsNewFile)
      Form->btnAddFileClick();
    else
      Form->actSampleImportExecute();
  }
  // Replace-imports into A and B, an add-import into C, the replaced a2 sample rebound to B's b2 (so that
  // no sample points into the part of A that the rebuild moves), and a description edit.
  void OpenAndEdit() {
    WriteFiles();
    Form = NewForm(&Converter);
    OpenStandard();
    Edit();
    ASSERT_TRUE(Form->ArchivesChanged());
    Boxes.Shown.clear();
    Boxes.Answers = {TMsgResult::No};
  }
  void Edit() {
    Import(0, 1, false);
    Import(0, 2, false);
    Import(0, 3, true);
    SelectSample(0, 1);
    Form->cmbStreams.UserSelect(1);
    Form->cmbFiles.UserSelect(1);
    SelectSample(0, 0);
    Form->edtName.UserType(L"Edited");
  }
  // Opens the definition in a fresh window: every sample's entry name and bytes.
  Bindings Reopen() {
    Form = NewForm(&Converter);
    Boxes.Shown.clear();
    OpenStandard();
    Bindings Bound;
    if (Form->Pack() == nullptr)
      return Bound;
    ForEachSample(*Form->Pack(), [&](TStreamData& S) {
      S.StreamFile()->SaveToFile(Dir.File("entry.bin"));
      Bound.push_back({S.StreamFile()->Name + " " +
                           FieldText(S.DescriptionIndex < 0 ? TDescriptionField{} : S.Description()->Name),
                       ReadFile(Dir.File("entry.bin"))});
    });
    return Bound;
  }
  // The last open found no corrupt definition and left no copy, backup or journal behind.
  void ExpectRecovered(const std::string& Trace) {
    for (const TShownMessage& M : Boxes.Shown)
      EXPECT_EQ(M.Text.find(W(msg::CorruptDefinition)), std::wstring::npos) << Trace;
    EXPECT_TRUE(Dir.Leftovers().empty()) << Trace << ": " << Dir.Leftovers()[0];
  }
  // The states before and after a save that nothing disturbs.
  void Reference() {
    WriteFiles();
    Old = Reopen();
    OpenAndEdit();
    platform::ClearFaults();
    Form->actFileSaveExecute();
    DeletesInSave = static_cast<int>(platform::FaultCallCount(platform::FaultKind::Delete));
    ASSERT_FALSE(Form->ArchivesChanged());
    for (const std::string& Path : Targets())
      Saved.push_back(ReadFile(Path));
    New = Reopen();
    ASSERT_NE(Old, New);
  }

  std::vector<BigfEntry> C;
  std::string Input;
  TInstantConverter Converter;
  Bindings Old, New;
  std::vector<Bytes> Saved;
  int DeletesInSave = 0;
};

TEST_F(SaveCommitTest, ASaveFailingAtAnyOsCallKeepsOrDiscardsEverything) {
  Reference();
  for (bool Retry : {false, true}) {
    SCOPED_TRACE(Retry ? "saved again" : "closed without saving");
    int Runs = RunFaultLoop([&] { OpenAndEdit(); }, [&] { Form->actFileSaveExecute(); },
                            [&](const FaultRun& R) {
                              EXPECT_EQ(Form->ArchivesChanged(), R.Failed) << Describe(R);
                              EXPECT_EQ(Form->DefinitionChanged(), R.Failed) << Describe(R);
                              if (R.Failed && Retry) {
                                Boxes.Answers = {TMsgResult::No};
                                Form->actFileSaveExecute();
                                EXPECT_FALSE(Form->DefinitionChanged()) << Describe(R);
                              } else {
                                Boxes.Answers = {TMsgResult::No};
                                EXPECT_TRUE(Form->TntFormCloseQuery()) << Describe(R);
                              }
                              bool Kept = !R.Failed || Retry;
                              EXPECT_EQ(Reopen(), Kept ? New : Old) << Describe(R);
                              ExpectRecovered(Describe(R));
                              EXPECT_TRUE(Dir.ScratchFiles().empty()) << Describe(R);
                            });
    EXPECT_GT(Runs, 60);
  }
}

// A rebuilt archive that was already in place when a later file could not be replaced is put back: a
// discard then restores the archives as they were at open, and nothing is bound to another song.
TEST_F(SaveCommitTest, AReplacedArchiveIsPutBackWhenTheDefinitionCannotBeReplaced) {
  Reference();
  OpenAndEdit();
  // Swapping: A, B, then the definition (C, rebuilt by its add-import, is already compact and is not
  // written again); the definition's move to its backup name is the 5th move.
  platform::InjectFault(platform::FaultKind::Move, 5, platform::AccessDeniedError());
  Run([&] { Form->actFileSaveExecute(); });
  platform::ClearFaults();
  EXPECT_EQ(Boxes.Shown.back().Text,
            W(EFCreateError(DefPath, platform::AccessDeniedError()).Message()) + L".");
  Boxes.Answers = {TMsgResult::No};
  EXPECT_TRUE(Form->TntFormCloseQuery());
  EXPECT_EQ(Reopen(), Old);
  EXPECT_TRUE(Dir.Leftovers().empty());
}

// An editor that died with imports unsaved: the next open puts the archives back as they were saved and,
// when the user agrees, does the imports again as unsaved changes, which a save then keeps. Meanwhile a
// second editor on the same definition is refused, naming it, and changes nothing.
TEST_F(SaveCommitTest, AfterACrashTheUnsavedImportsCanBeDoneAgain) {
  Reference();
  OpenAndEdit(); // imports the same recording at samples 1, 2 and 3 of stream 0, then rebinds sample 1
  const Bytes Converted = Concat({TextBytes("CONVERTED\n"), ReadFile(Input)});
  Form.reset(); // the process dies: nothing of the window runs any more
  Form = NewForm(&Converter);
  Boxes.Shown.clear();
  Boxes.Answers = {TMsgResult::Yes};
  OpenStandard();
  ASSERT_EQ(Boxes.Shown.size(), 1u);
  EXPECT_EQ(Boxes.Shown[0].Buttons, TMsgButtons::YesNo);
  EXPECT_EQ(Boxes.Shown[0].Text.rfind(std::wstring(msg::ChangesRolledBack) + L" " + msg::ImportAgain, 0), 0u);
  EXPECT_EQ(Boxes.Shown[0].Caption, msg::ApplicationTitle);
  for (int I : {1, 2, 3})
    EXPECT_NE(
        Boxes.Shown[0].Text.find(W(ExtractFileName(Input)) + L" -> Stream 0, sample " + std::to_wstring(I)),
        std::wstring::npos)
        << "each song is named by its own name, with where it goes";
  EXPECT_TRUE(Form->DefinitionChanged());
  EXPECT_TRUE(Form->ArchivesChanged());
  EXPECT_EQ(Form->StatusBar.Text(), L"");
  EXPECT_EQ(Screen.Cursor(), TCursor::Default);
  for (int I : {1, 2, 3}) {
    Form->Pack()->Streams(0)->Samples(I)->StreamFile()->SaveToFile(Dir.File("entry.bin"));
    EXPECT_EQ(ReadFile(Dir.File("entry.bin")), Converted) << "sample " << I;
  }

  std::vector<Bytes> Files;
  for (const std::string& Path : Targets())
    Files.push_back(ReadFile(Path));
  auto First = std::move(Form);
  Form = NewForm(&Converter);
  Boxes.Shown.clear();
  Run([&] { OpenStandard(); });
  ASSERT_EQ(Boxes.Shown.size(), 1u);
  EXPECT_EQ(Boxes.Shown[0].Text, W(TDefinitionSession::InUseMessage(DefPath)) + L".");
  EXPECT_EQ(Form->Pack(), nullptr);
  for (size_t I = 0; I < Files.size(); ++I)
    EXPECT_EQ(ReadFile(Targets()[I]), Files[I]);
  Form = std::move(First);

  Boxes.Answers = {TMsgResult::No};
  Form->actFileSaveExecute();
  Bindings Saved = Reopen();
  for (int I : {1, 2, 3})
    EXPECT_EQ(Saved[static_cast<size_t>(I)].second, Converted) << "sample " << I;
  EXPECT_TRUE(Dir.Leftovers().empty());
  EXPECT_TRUE(Dir.ScratchFiles().empty());
}

// The imports of a batch or a pack note the descriptions they gave: done again after a crash, they give the
// samples those descriptions once more. A journal that names a file outside the folder is set aside instead,
// said once under the program's title, and the definition opens as its files are.
TEST_F(SaveCommitTest, RecoveryDoesAgainWhatWasDoneAndSetsAsideWhatItCannotTrust) {
  WriteFiles();
  {
    TDefinitionSession Session(DefPath); // dies with its imports unsaved: never closed
    Session.Open();
    TStreamPack Pack(Dir.Path());
    Pack.LoadFromFile(DefPath);
    WriteFile(Dir.File("song.asf"), Pattern(90, 7));
    ImportThroughJournal(Session.Imports, *Pack.Streams(0)->Samples(1), false, "", Dir.File("song.asf"),
                         Dir.File("song.asf"), {true, "Kick Off", "Derby Day", "Live"});
  }
  Form = NewForm(&Converter);
  Boxes.Answers = {TMsgResult::Yes};
  OpenStandard();
  ASSERT_EQ(Boxes.Shown.size(), 1u);
  EXPECT_NE(Boxes.Shown[0].Text.find(L"song.asf -> Stream 0, sample 1, \"Kick Off\""), std::wstring::npos);
  const TStreamData& Sample = *Form->Pack()->Streams(0)->Samples(1);
  ASSERT_NE(Sample.Description(), nullptr);
  EXPECT_EQ(FieldText(Sample.Description()->Name), "Kick Off");
  EXPECT_EQ(FieldText(Sample.Description()->Singer), "Derby Day");
  EXPECT_TRUE(Form->DefinitionChanged());
  Boxes.Answers = {TMsgResult::No};
  ASSERT_TRUE(Form->TntFormCloseQuery());

  const std::vector<Bytes> Before = Snapshot();
  TRecordWriter Payload;
  Payload.U8(2).Text("../victim.big").I64(0);
  TRecordWriter Record;
  Record.U32(1).U32(static_cast<uint32_t>(Payload.Result().size()));
  Bytes Framed = Concat({Record.Result(), Payload.Result()});
  WriteFile(DefPath + ".~journal",
            Concat({Framed, TRecordWriter().U32(Crc32(Framed.data(), Framed.size())).Result()}));
  Form = NewForm(&Converter);
  Boxes.Shown.clear();
  OpenStandard();
  ASSERT_EQ(Boxes.Shown.size(), 1u);
  EXPECT_EQ(Boxes.Shown[0].Caption, msg::ApplicationTitle);
  EXPECT_EQ(Boxes.Shown[0].Text.rfind(msg::JournalSetAside, 0), 0u);
  EXPECT_NE(Boxes.Shown[0].Text.find(W(DefPath + ".~journal (set aside ")), std::wstring::npos);
  EXPECT_NE(Form->Pack(), nullptr);
  EXPECT_EQ(Snapshot(), Before);
}

// A batch lets the journal take its converted song: moved into the journal's keeping, or copied where the
// move is refused (another volume). Either way the sample gets the song, and after a crash the import is
// done again from the song kept.
TEST_F(SaveCommitTest, ATakenSongIsKeptMovedOrCopied) {
  for (bool MoveRefused : {false, true}) {
    SCOPED_TRACE(MoveRefused ? "copied" : "moved");
    WriteFiles();
    const std::string Scratch = Dir.File("converted.asf");
    const Bytes Song = Pattern(70, MoveRefused ? 3 : 5);
    {
      TDefinitionSession Session(DefPath); // dies with its import unsaved
      Session.Open();
      TStreamPack Pack(Dir.Path());
      Pack.LoadFromFile(DefPath);
      WriteFile(Scratch, Song);
      if (MoveRefused)
        platform::InjectFault(platform::FaultKind::Move, 1, platform::AccessDeniedError());
      ImportThroughJournal(Session.Imports, *Pack.Streams(0)->Samples(1), false, "", Dir.File("song.wav"),
                           Scratch, {}, true);
      platform::ClearFaults();
      EXPECT_EQ(platform::IsFile(Scratch), MoveRefused);
      Pack.Streams(0)->Samples(1)->StreamFile()->SaveToFile(Dir.File("entry.bin"));
      EXPECT_EQ(ReadFile(Dir.File("entry.bin")), Song);
    }
    DeleteIfPresent(Scratch);
    Form = NewForm(&Converter);
    Boxes.Answers = {TMsgResult::Yes};
    OpenStandard();
    Form->Pack()->Streams(0)->Samples(1)->StreamFile()->SaveToFile(Dir.File("entry.bin"));
    EXPECT_EQ(ReadFile(Dir.File("entry.bin")), Song) << "done again after the crash";
    Boxes.Answers = {TMsgResult::No};
    ASSERT_TRUE(Form->TntFormCloseQuery());
    Form.reset();
  }
}

// Backups that the system refuses to delete (a virus scanner holding them) neither show a message nor stand
// in the way of the next save; the next open deletes them, silently.
TEST_F(SaveCommitTest, BackupsThatCannotBeDeletedGoSilentlyLater) {
  Reference();
  OpenAndEdit();
  platform::InjectFault(platform::FaultKind::Delete, 1, platform::AccessDeniedError(), true);
  Form->actFileSaveExecute();
  platform::ClearFaults();
  EXPECT_FALSE(Form->DefinitionChanged());
  ASSERT_EQ(Boxes.Shown.size(), 1u);
  EXPECT_EQ(Boxes.Shown[0].Text, msg::UpdatePreload);
  EXPECT_FALSE(Dir.Leftovers().empty());
  Form->edtName.UserType(L"Edited again");
  Boxes.Answers = {TMsgResult::No};
  Form->actFileSaveExecute();
  EXPECT_FALSE(Form->DefinitionChanged()) << "the backups left over are not in the way";
  Form = NewForm(&Converter);
  Boxes.Shown.clear();
  OpenStandard();
  EXPECT_TRUE(Boxes.Shown.empty());
  ExpectRecovered("reopened");
}

#ifndef _WIN32
// One write of the window, stopped at every call of the OS seam. Prepare runs in this process (the window
// it leaves open is the one that dies, with its lock); Operation in the child; the files after the next
// open must be a whole state: the one before Operation or the one it leads to, as Expect says.
enum class TExpect {
  Before,            // what never was saved is undone: the files as at the last save
  BeforeOrAfter,     // the files all as at the last save, or all as the operation leaves them
  EachBeforeOrAfter, // each file so (the preload archives are updated one by one)
  After,             // a journal found is finished or undone the same way whenever recovery dies
};
struct TCrashCase {
  const char* Name;
  std::function<void()> Prepare, Operation;
  TExpect Expect;
};

class CrashTest : public SaveCommitTest {
protected:
  std::vector<Bytes> Files() {
    std::vector<Bytes> Bytes;
    for (const std::string& Path : Targets())
      Bytes.push_back(ReadFile(Path));
    for (const char* Name : PreloadArchiveNames)
      Bytes.push_back(ReadFile(Dir.File(std::string("preload/") + Name)));
    return Bytes;
  }
  void WritePreload() {
    std::filesystem::create_directories(Dir.File("preload"));
    for (const char* Name : PreloadArchiveNames)
      WriteFile(
          Dir.File(std::string("preload/") + Name),
          MakeBigf({{"x.bin", Pattern(90, 1)}, {"streams.dat", Pattern(40, 2)}, {"y.bin", Pattern(70, 3)}}));
  }
  // Opens afresh, as the next start of the editor does, and declines to import anything again.
  void OpenAfterCrash() {
    Form = NewForm(&Converter);
    Boxes.Shown.clear();
    Boxes.Answers = {TMsgResult::No};
    Run([&] { OpenStandard(); });
  }
  // The window of a process that died: its lock goes with the process, nothing else of it runs (the
  // window has no clean-up of its own that touches the files).
  void Abandon() { Form.reset(); }
  bool Whole(const std::vector<Bytes>& Now, TExpect Expect) const {
    switch (Expect) {
    case TExpect::Before:
      return Now == Before;
    case TExpect::BeforeOrAfter:
      return Now == Before || Now == After;
    case TExpect::EachBeforeOrAfter:
      for (size_t I = 0; I < Now.size(); ++I)
        if (Now[I] != Before[I] && Now[I] != After[I])
          return false;
      return true;
    case TExpect::After:
      return Now == After;
    }
    return false;
  }
  void Prepared(const TCrashCase& Case) {
    Abandon();
    WriteFiles();
    WritePreload();
    Form = NewForm(&Converter);
    OpenStandard();
    Boxes.Answers = {TMsgResult::No, TMsgResult::No};
    Before = Files(); // the last saved state
    if (Case.Prepare)
      Case.Prepare();
  }
  void RunCase(const TCrashCase& Case, fixtures::CrashKind Kind) {
    SCOPED_TRACE(Case.Name);
    // The state the operation leads to, when nothing stops it.
    Prepared(Case);
    Case.Operation();
    After = Files();
    int Deaths = fixtures::RunCrashLoop(
        Kind, Dir.Path(), [&] { Prepared(Case); }, Case.Operation,
        [&](int) {
          Abandon();
          OpenAfterCrash();
          // The preload folder keeps its own journal, which the next preload update recovers first.
          TWriteJournal::Recover(PreloadJournalPath(Dir.File("preload")), PreloadScope());
          ExpectRecovered(Case.Name);
          std::vector<Bytes> Now = Files();
          EXPECT_TRUE(Whole(Now, Case.Expect));
          EXPECT_NE(Form->Pack(), nullptr);
        });
    EXPECT_GT(Deaths, 3);
    std::cout << "[ crashes  ] " << Case.Name << ", " << fixtures::CrashKindName(Kind) << ": " << Deaths
              << " deaths, each recovered\n";
    Counted += Deaths;
    Abandon();
  }
  void UpdatePreload() {
    Form->actFileUpdatePreloadDialog.Folder = Dir.File("preload");
    Form->actFileUpdatePreloadAccept();
  }
  std::vector<Bytes> Before, After;
  int Counted = 0;
};

TEST_F(CrashTest, EveryWriteStoppedAtAnyCallRecoversAtTheNextOpen) {
  const TCrashCase Cases[] = {
      {"replace-import", nullptr, [&] { Import(0, 1, false); }, TExpect::Before},
      {"add-import", nullptr, [&] { Import(0, 3, true); }, TExpect::Before},
      // An undo or redo of an import changes the archive through the journal like the import itself.
      {"undo of a replace-import", [&] { Import(0, 1, false); }, [&] { Form->actEditUndoExecute(); },
       TExpect::Before},
      {"redo of a replace-import",
       [&] {
         Import(0, 1, false);
         Form->actEditUndoExecute();
       },
       [&] { Form->actEditRedoExecute(); }, TExpect::Before},
      {"undo of an add-import", [&] { Import(0, 3, true); }, [&] { Form->actEditUndoExecute(); },
       TExpect::Before},
      {"redo of an add-import",
       [&] {
         Import(0, 3, true);
         Form->actEditUndoExecute();
       },
       [&] { Form->actEditRedoExecute(); }, TExpect::Before},
      {"save with archives", [&] { Edit(); }, [&] { Form->actFileSaveExecute(); }, TExpect::BeforeOrAfter},
      {"save of the definition only",
       [&] {
         SelectSample(0, 0);
         Form->edtName.UserType(L"Renamed");
       },
       [&] { Form->actFileSaveExecute(); }, TExpect::BeforeOrAfter},
      {"discard", [&] { Edit(); }, [&] { Form->TntFormCloseQuery(); }, TExpect::Before},
      {"preload update", nullptr, [&] { UpdatePreload(); }, TExpect::EachBeforeOrAfter},
  };
  for (fixtures::CrashKind Kind :
       {fixtures::CrashKind::Kill, fixtures::CrashKind::PowerDrop, fixtures::CrashKind::PowerTear}) {
    SCOPED_TRACE(fixtures::CrashKindName(Kind));
    for (const TCrashCase& Case : Cases)
      RunCase(Case, Kind);
  }
  std::cout << "[ crashes  ] " << Counted << " deaths, each recovered\n";
}

// Recovery dies too, at every call, after a save that died half-way and after imports that died unsaved:
// the open after that still finishes or undoes the whole.
TEST_F(CrashTest, RecoveryStoppedAtAnyCallRecoversAtTheNextOpen) {
  for (int DieAt : {25, 60, 90}) {
    SCOPED_TRACE("the first process died at call " + std::to_string(DieAt));
    static int64_t FirstDeath;
    FirstDeath = DieAt;
    TCrashCase Case{"recovery",
                    [&] {
                      Edit();
                      pid_t Child = ::fork();
                      if (Child == 0) {
                        platform::SetCallHook([](int64_t Call) {
                          if (Call == FirstDeath)
                            std::raise(SIGKILL);
                        });
                        Form->actFileSaveExecute();
                        std::_Exit(0);
                      }
                      int Status = 0;
                      ::waitpid(Child, &Status, 0);
                      Abandon();
                      Form = NewForm(&Converter);
                    },
                    [&] { OpenStandard(); }, TExpect::After};
    RunCase(Case, fixtures::CrashKind::Kill);
  }
}
#endif

} // namespace
