#pragma once
// The real main window over a definition on disk, with scripted services, driven through window messages
// and the program's own message processing.
//
// Archives: A.big (a1.asf, a2.asf), B.big (b1.asf). Descriptions: 0 = Singer0/Album0/Name0,
// 1 = Singer1/Album1/Name1. Streams: 0 = [A a1 desc 0, B b1 none, A a2 desc 1], 1 = [].

#include "tests/app/ScriptedServices.h"
#include "tests/fixtures/TestFiles.h"
#include "ui/MainWindow.h"
#include "ui/WinServices.h"

#include <gtest/gtest.h>
#include <memory>

// The text of a window or control.
std::wstring WindowText(HWND Window);

class UiTest : public ::testing::Test {
protected:
  static std::wstring Text(HWND Window) { return WindowText(Window); }
  UiTest() : UiTest(false) {}
  // With RealDialogs the window runs the system's file and folder dialogs instead of scripted ones.
  explicit UiTest(bool RealDialogs);
  ~UiTest() override;

  ui::TMainWindow& Window() { return *FWindow; }
  TfrmORVStreams& Form() { return FWindow->Form(); }
  const ui::TMainControls& C() const { return FWindow->Controls(); }
  // Processes every waiting message as the program's loop does, then the idle step.
  void Pump();
  // The menu or tool-bar command of Action, as the window receives it.
  void Command(const TActionModel& Action);
  int CommandOf(const TActionModel& Action) const { return FWindow->Actions().CommandOf(Action); }
  // Opens the definition through the open dialog.
  void Open();
  // Ctrl and Key pressed while To (the tree when none) has the focus.
  void PressCtrl(char Key, HWND To = nullptr);
  // Selects the tree view's item at a path of child positions, e.g. {0, 1, 0}, as a click does.
  void Select(std::initializer_list<int> Path);

  // "level:caption" of every item of the tree view, in display order.
  std::vector<std::string> TreeViewLines() const;
  std::vector<std::string> ModelLines() const;
  std::vector<std::wstring> ComboItems(HWND Combo) const;
  bool ToolBarEnabled(const TActionModel& Action) const;
  bool MenuEnabled(const TActionModel& Action) const;

  fixtures::TempDir Dir;
  std::string DefPath;
  TScriptedMessageBoxes Boxes;
  TScriptedInputQuery Input;
  TScriptedDialogs Dialogs;
  ui::TWinDialogs SystemDialogs;
  TScriptedScreen Screen;
  TScriptedRegistry Registry;
  TScriptedSound Sound;
  TRecordingRunner Runner{nullptr};

private:
  std::unique_ptr<ui::TMainWindow> FWindow;
};
