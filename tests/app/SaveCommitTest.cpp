// Save over a pack of three archives with imports, a rebind and a description edit: every OS call of the
// save made to fail in turn, and the process killed at every step of the commit. Whatever happens, the
// files on disk (with the leftovers an unfinished save names) hold the whole state from before the save or
// the whole state after it, and reopening never binds a sample to another song.

#include "app/Messages.h"
#include "base/FileSetCommit.h"
#include "base/Paths.h"
#include "platform/FileSystem.h"
#include "tests/app/EditorFixture.h"
#include "tests/fixtures/FaultLoop.h"

#include <fstream>

#ifndef _WIN32
#include <csignal>
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
    Import(0, 1, false);
    Import(0, 2, false);
    Import(0, 3, true);
    SelectSample(0, 1);
    Form->cmbStreams.UserSelect(1);
    Form->cmbFiles.UserSelect(1);
    SelectSample(0, 0);
    Form->edtName.UserType(L"Edited");
    ASSERT_TRUE(Form->ArchivesChanged());
    Boxes.Shown.clear();
    Boxes.Answers = {TMsgResult::No};
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
  // The leftovers on disk, each named in the message of the last open, which found no corrupt definition.
  void ExpectLeftoversNamed(const std::string& Trace, bool Consistent = true) {
    std::wstring Shown;
    for (const TShownMessage& M : Boxes.Shown)
      Shown += M.Text;
    if (Consistent) {
      EXPECT_EQ(Shown.find(W(msg::CorruptDefinition)), std::wstring::npos) << Trace;
    }
    for (const std::string& Path : Dir.Leftovers())
      EXPECT_NE(Shown.find(W(Path)), std::wstring::npos) << Trace << ": " << Path << " is not named";
  }
  void ExpectNoScratch(const FaultRun& R) {
    if (!DeletesRefused(R)) {
      EXPECT_TRUE(Dir.ScratchFiles().empty()) << Describe(R);
      EXPECT_TRUE(Dir.Leftovers().empty()) << Describe(R);
    }
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
                              ExpectLeftoversNamed(Describe(R));
                              ExpectNoScratch(R);
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

// The kept copy of an add-import that cannot be deleted no longer stops the definition from being written.
TEST_F(SaveCommitTest, AKeptCopyThatCannotBeDeletedIsReportedAfterTheSave) {
  Reference();
  OpenAndEdit();
  // The last deletes of a save: the three backups, then the add-import's kept copy.
  platform::InjectFault(platform::FaultKind::Delete, DeletesInSave - 3, platform::AccessDeniedError(), true);
  Form->actFileSaveExecute();
  platform::ClearFaults();
  EXPECT_FALSE(Form->DefinitionChanged());
  ASSERT_GE(Boxes.Shown.size(), 2u);
  EXPECT_EQ(Boxes.Shown[0].Text.rfind(msg::CopiesNotDeleted, 0), 0u);
  EXPECT_EQ(Boxes.Shown[0].Icon, TMsgIcon::Warning);
  EXPECT_EQ(Boxes.Shown[1].Text, msg::UpdatePreload) << "the preload question still follows";
  ASSERT_EQ(Dir.Leftovers().size(), 4u) << "three backups and the add-import's kept archive";
  for (const std::string& Path : Dir.Leftovers())
    EXPECT_NE(Boxes.Shown[0].Text.find(W(Path)), std::wstring::npos) << Path;
  EXPECT_EQ(Reopen(), New);
  ExpectLeftoversNamed("reopened");
}

#ifndef _WIN32
void KillHere(int) {
  std::raise(SIGKILL);
}
int KillAtStep = 0;

// A save whose process dies at any step of its commit: the files, with the leftovers, hold the whole old
// state or the whole new one, and the next open names the leftovers.
TEST_F(SaveCommitTest, ASaveKilledAtAnyStepLosesNoFile) {
  Reference();
  int Killed = 0;
  for (KillAtStep = 1;; ++KillAtStep) {
    SCOPED_TRACE("killed at step " + std::to_string(KillAtStep));
    OpenAndEdit();
    std::vector<Bytes> Before;
    for (const std::string& Path : Targets())
      Before.push_back(ReadFile(Path));
    pid_t Child = ::fork();
    ASSERT_GE(Child, 0);
    if (Child == 0) {
      TFileSetCommit::StepHook = [](int Step) {
        if (Step == KillAtStep)
          KillHere(Step);
      };
      Form->actFileSaveExecute();
      std::_Exit(0);
    }
    int Status = 0;
    ::waitpid(Child, &Status, 0);
    if (!WIFSIGNALED(Status)) {
      EXPECT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0);
      break;
    }
    ++Killed;
    bool WholeOld = true, WholeNew = true;
    std::vector<std::string> Paths = Targets();
    for (size_t I = 0; I < Paths.size(); ++I) {
      const std::string& Path = Paths[I];
      auto Read = [](const std::string& Preferred, const std::string& Else) {
        return platform::IsFile(Preferred) ? ReadFile(Preferred) : ReadFile(Else);
      };
      WholeOld = WholeOld && Read(TFileSetCommit::OldName(Path), Path) == Before[I];
      WholeNew = WholeNew && Read(TFileSetCommit::NewName(Path), Path) == Saved[I];
    }
    EXPECT_TRUE(WholeOld || WholeNew);
    Form = NewForm(&Converter);
    Boxes.Shown.clear();
    Run([&] { OpenStandard(); });
    EXPECT_FALSE(Dir.Leftovers().empty());
    // Before the save, the add-import had already rebuilt C under the old definition (its old bytes are
    // kept as C.big.~undo, which the kill never got to put back, and which the message names): that open
    // may find C out of step, which is not the commit's doing.
    ExpectLeftoversNamed("after the kill", false);
  }
  EXPECT_EQ(Killed, 7) << "A, B and the definition swapped in two steps each (C is already compact), and the "
                          "step before the cleanup";
}
#endif

} // namespace
