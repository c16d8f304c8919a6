#pragma once
// A definition on disk and a window over it, with scripted services.
//
// Archives: A.big (music\a1.asf, a2.asf, a3.asf), B.big (b1.asf, b2.asf), E.big (no entries).
// Descriptions: 0 = Singer0/Album0/Name0, 1 = Singer1/Album1/Name1.
// Streams: 0 = [A a1 desc 0, B b1 none, A a2 (inside its data) desc 1], 1 = [A a1 desc 0], 2 = [].

#include "app/ErrorReport.h"
#include "app/SystemServices.h"
#include "app/uMain.h"
#include "base/Text.h"
#include "tests/app/ScriptedServices.h"
#include "tests/fixtures/Bigf.h"
#include "tests/fixtures/Definition.h"

#include <gtest/gtest.h>
#include <memory>

class EditorTest : public ::testing::Test {
protected:
  EditorTest();
  ~EditorTest() override;

  fixtures::Definition StandardDefinition() const;
  void WriteStandardFiles();
  // Opens Path through the open dialog.
  void Open(const std::string& Path);
  void OpenStandard() { Open(DefPath); }
  // A window over the scripted services; the converter runner and the program's folder can be others.
  std::unique_ptr<TfrmORVStreams> NewForm(IConverterRunner* Converter = nullptr,
                                          const std::string& ProgramFolder = "");

  // The node at a path of child positions from the roots, e.g. {0, 1, 0}.
  TTreeNode* Node(std::initializer_list<int> Path) const;
  void Select(std::initializer_list<int> Path) { Form->treeFiles.Select(Node(Path)); }
  // "level:caption" for every node in display order.
  std::vector<std::string> TreeLines() const;
  std::vector<std::wstring> ComboItems(const TComboModel& Combo) const;
  // Every archive and the definition file as bytes, to compare before and after.
  std::vector<fixtures::Bytes> Snapshot() const;
  std::vector<std::string> UserFiles() const;
  // The lines of the fake converter's log.
  std::vector<std::string> ConverterRuns() const;
  // Runs Handler as the window does: an error goes to the application's error report.
  template <class Handler> void Run(Handler&& H) { RunHandler(Boxes, H); }

  fixtures::TempDir Dir;
  std::vector<fixtures::BigfEntry> A, B;
  std::string DefPath;
  TScriptedMessageBoxes Boxes;
  TScriptedInputQuery Input;
  TScriptedDialogs Dialogs;
  TScriptedScreen Screen;
  TScriptedRegistry Registry;
  TScriptedSound Sound;
  TSystemConverterRunner RealRunner;
  TRecordingRunner Runner{&RealRunner};
  // Given to the windows NewForm makes, when set.
  IBatchWindow* BatchWindow = nullptr;
  ILevelsWindow* LevelsWindow = nullptr;
  IConverterProcess* ConverterProcess = nullptr;
  IShapeDialog* ShapeDialog = nullptr;
  // The fake converter's log: one line "folder|command line" per run.
  std::string ConverterLog;
  std::unique_ptr<TfrmORVStreams> Form;
};

inline std::wstring W(const std::string& Text) {
  return AnsiToWide(Text);
}
