// Each song operation through the window and through the command-line tool, on two copies of the same
// game with the same converter: the same files after it, or the same refusal in the same words.

#include "base/Paths.h"
#include "platform/FileSystem.h"
#include "tests/app/EditorFixture.h"
#include "tools/orvik-streams/Tool.h"
#include "workflows/KeptOriginals.h"

#include <filesystem>
#include <functional>
#include <sstream>

using namespace fixtures;

namespace {

// A message as one text with "\n" between its lines, without the line break at its end.
std::string Lines(std::string Text) {
  std::string Result;
  for (char C : Text)
    if (C != '\r')
      Result += C;
  while (!Result.empty() && Result.back() == '\n')
    Result.pop_back();
  return Result;
}

} // namespace

TEST_F(EditorTest, TheWindowAndTheToolDoEachSongOperationAlike) {
  const std::string Tool = Dir.File("tool"), ToolDef = JoinPath(Tool, "streams.dat");
  const std::string Input = Dir.File("take.wav"), Exported = Dir.File("window.asf"),
                    ToolExported = Dir.File("tool.asf");
  WriteFile(Input, Pattern(300, 7));
  std::filesystem::create_directories(Tool);
  const char* const Names[] = {"streams.dat", "A.big", "B.big", "E.big"};
  auto Game = [&](const std::string& Folder) {
    std::vector<Bytes> Files;
    for (const char* Name : Names)
      Files.push_back(ReadFile(JoinPath(Folder, Name)));
    return Files;
  };
  struct TCase {
    const char* Name;
    bool Fails;
    std::function<void()> Window;
    std::vector<std::string> Arguments;
  };
  auto Save = [&] {
    Boxes.Answers = {TMsgResult::No}; // no preload update
    Form->actFileSaveExecute();
  };
  const TCase Cases[] = {
      {"replace",
       false,
       [&] {
         Dialogs.OpenAnswers.push_back(W(Input));
         Form->actSampleImportExecute();
         Save();
       },
       {"import", ToolDef, "--stream", "0", "--sample", "0", Input}},
      {"add",
       false,
       [&] {
         Dialogs.OpenAnswers.push_back(W(Input));
         Form->btnAddFileClick();
         Save();
       },
       {"import", ToolDef, "--stream", "0", "--sample", "0", "--add", Input}},
      {"export",
       false,
       [&] {
         Form->actSampleExportDialog.FileName = W(Exported);
         Form->actSampleExportDialog.FilterIndex = 2; // EA-XA
         Form->actSampleExportAccept();
       },
       {"export", ToolDef, "--stream", "0", "--sample", "0", "--format", "eaxa", ToolExported}},
      {"import of an unreadable file",
       true,
       [&] {
         Dialogs.OpenAnswers.push_back(W(Input));
         Form->actSampleImportExecute();
       },
       {"import", ToolDef, "--stream", "0", "--sample", "0", Input}},
      {"export the converter refuses",
       true,
       [&] {
         Form->actSampleExportDialog.FileName = W(Exported);
         Form->actSampleExportAccept();
       },
       {"export", ToolDef, "--stream", "0", "--sample", "0", "--format", "eaxa", Exported}},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    WriteStandardFiles();
    for (const char* Name : Names)
      WriteFile(JoinPath(Tool, Name), ReadFile(Dir.File(Name)));
    TKeptOriginals(ToolDef, "").Decline();
    for (const std::string& Out : {Exported, ToolExported})
      if (platform::IsFile(Out))
        platform::DeleteFile(Out);
    SetEnvironmentVariable("ORVIK_FAKE_SX_FAIL", Case.Fails ? "Unknown input format" : "");
    OpenStandard();
    Select({0, 0, 0}); // stream 0, sample 0
    Boxes.Shown.clear();
    Case.Window();
    std::ostringstream Out, Err;
    int Code = RunTool(Case.Arguments, Out, Err);

    EXPECT_EQ(Code, Case.Fails ? 1 : 0) << Err.str();
    EXPECT_EQ(Game(Tool), Game(Dir.Path()));
    if (Case.Fails) {
      ASSERT_EQ(Boxes.Shown.size(), 1u);
      // The converter names its input: the window's and the tool's scratch files differ there.
      std::string Shown = Lines(WideToAnsi(Boxes.Shown[0].Text)), Said = Lines(Err.str());
      EXPECT_EQ(Said.substr(0, Said.find(": ")), Shown.substr(0, Shown.find(": ")));
    } else {
      for (const auto& Box : Boxes.Shown)
        EXPECT_NE(Box.Icon, TMsgIcon::Error) << WideToAnsi(Box.Text);
    }
    if (std::string(Case.Name) == "export") {
      EXPECT_EQ(ReadFile(ToolExported), ReadFile(Exported));
    }
  }
}
