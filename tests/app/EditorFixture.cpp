#include "tests/app/EditorFixture.h"
#include "platform/Faults.h"
#include "platform/Process.h"
#include "workflows/KeptOriginals.h"

#include <fstream>

using namespace fixtures;

EditorTest::EditorTest() {
  A = {{"music\\a1.asf", Pattern(100, 1)}, {"a2.asf", Pattern(200, 2)}, {"a3.asf", Pattern(50, 3)}};
  B = {{"b1.asf", Pattern(80, 4)}, {"b2.asf", Pattern(90, 5)}};
  DefPath = Dir.File("streams.dat");
  ConverterLog = Dir.File("sx.log");
  SetEnvironmentVariable("ORVIK_FAKE_SX_LOG", ConverterLog);
  SetEnvironmentVariable("ORVIK_FAKE_SX_FAIL", "");
  WriteStandardFiles();
  Form = NewForm();
}

EditorTest::~EditorTest() {
  Form.reset();
  platform::ClearFaults();
  SetEnvironmentVariable("ORVIK_FAKE_SX_LOG", "");
  SetEnvironmentVariable("ORVIK_FAKE_SX_FAIL", "");
}

Definition EditorTest::StandardDefinition() const {
  Definition Def;
  Def.Archives = {"A.big", "B.big", "E.big"};
  Def.Descriptions = {{"Name0", "Singer0", "Album0"}, {"Name1", "Singer1", "Album1"}};
  Def.Streams = {
      {{BigfDataOffset(A, 0), 0, 0}, {BigfDataOffset(B, 0), 1, -1}, {BigfDataOffset(A, 1) + 10, 0, 1}},
      {{BigfDataOffset(A, 0), 0, 0}},
      {}};
  return Def;
}

void EditorTest::WriteStandardFiles() {
  WriteFile(Dir.File("A.big"), MakeBigf(A));
  WriteFile(Dir.File("B.big"), MakeBigf(B));
  WriteFile(Dir.File("E.big"), MakeBigf({}));
  WriteFile(DefPath, MakeDefinition(StandardDefinition()));
  // The user said No to keeping the original music: the window asks no more.
  TKeptOriginals(DefPath, "").Decline();
}

std::unique_ptr<TfrmORVStreams> EditorTest::NewForm(IConverterRunner* Converter,
                                                    const std::string& ProgramFolder) {
  TServices Services;
  Services.MessageBoxes = &Boxes;
  Services.InputQuery = &Input;
  Services.Dialogs = &Dialogs;
  Services.Screen = &Screen;
  Services.Registry = &Registry;
  Services.Sound = &Sound;
  Services.Converter = Converter != nullptr ? Converter : &Runner;
  Services.BatchWindow = BatchWindow;
  Services.LevelsWindow = LevelsWindow;
  Services.ConverterProcess = ConverterProcess;
  Services.ShapeDialog = ShapeDialog;
  Services.ProgramFolder = ProgramFolder.empty() ? platform::ProgramFolder() : ProgramFolder;
  return std::make_unique<TfrmORVStreams>(Services);
}

void EditorTest::Open(const std::string& Path) {
  Dialogs.OpenAnswers.push_back(W(Path));
  Form->actFileOpenExecute();
}

TTreeNode* EditorTest::Node(std::initializer_list<int> Path) const {
  TTreeNode* Node = nullptr;
  for (int Index : Path)
    Node = Node == nullptr ? Form->treeFiles.Root(Index) : Node->Item(Index);
  return Node;
}

std::vector<std::string> EditorTest::TreeLines() const {
  std::vector<std::string> Lines;
  for (TTreeNode* Node : Form->treeFiles.AllNodes())
    Lines.push_back(std::to_string(Node->Level()) + ":" + WideToAnsi(Node->Text));
  return Lines;
}

std::vector<std::wstring> EditorTest::ComboItems(const TComboModel& Combo) const {
  std::vector<std::wstring> Items;
  for (int I = 0; I < Combo.Count(); ++I)
    Items.push_back(Combo.Items(I));
  return Items;
}

std::vector<std::string> EditorTest::UserFiles() const {
  return {Dir.File("A.big"), Dir.File("B.big"), Dir.File("E.big"), DefPath};
}

std::vector<Bytes> EditorTest::Snapshot() const {
  std::vector<Bytes> Files;
  for (const std::string& Path : UserFiles())
    Files.push_back(ReadFile(Path));
  return Files;
}

std::vector<std::string> EditorTest::ConverterRuns() const {
  std::vector<std::string> Lines;
  std::ifstream In(ConverterLog, std::ios::binary);
  for (std::string Line; std::getline(In, Line);)
    Lines.push_back(Line);
  return Lines;
}
