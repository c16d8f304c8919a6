#pragma once
// The window's actions bound to its menu items and tool-bar buttons: one command id per action; a menu
// item or button shows its action's caption, image and enabled state and follows every change of them;
// a command runs its handler only while the action is enabled (so a shortcut of a disabled action does
// nothing).

#include "app/Controls.h"

#include <functional>
#include <string>
#include <vector>
#include <windows.h>

namespace ui {

// One pull-down menu of the menu bar: its caption and items, nullptr standing for a separator.
struct TMenuLayout {
  const wchar_t* Caption;
  std::vector<const TActionModel*> Items;
};

class TActionList {
public:
  static constexpr int FirstCommand = 100;

  TActionList() = default;
  ~TActionList();
  TActionList(const TActionList&) = delete;
  TActionList& operator=(const TActionList&) = delete;

  // Adds Action with its handler. MenuCaption, when given, is what its menu item shows in place of the
  // action's first caption, alone or at the start of a longer one ("&Undo" of "Undo Typing in Name").
  void Add(TActionModel& Action, std::function<void()> Execute, std::wstring MenuCaption = L"");
  int CommandOf(const TActionModel& Action) const;
  // The action of a command id, or nullptr.
  const TActionModel* ActionOf(int Command) const;
  // Runs the handler of Command if its action is enabled. False when Command is no action's.
  bool Execute(int Command);

  // The menu bar of the layouts: captions, shortcut texts and enabled states of the actions.
  HMENU CreateMenuBar(const std::vector<TMenuLayout>& Layout);
  // Adds the buttons of Actions (nullptr: separator) to a tool bar that already has its image list.
  void FillToolBar(HWND ToolBar, const std::vector<const TActionModel*>& Actions);
  // The shortcuts of the actions, as an accelerator table the caller destroys.
  HACCEL CreateAccelerators() const;

private:
  struct TItem {
    TActionModel* Action;
    std::function<void()> Execute;
    std::wstring MenuCaption;
    std::wstring FirstCaption;
  };
  int IndexOf(const TActionModel& Action) const;
  std::wstring MenuText(const TItem& Item) const;
  void Refresh(size_t Index);

  std::vector<TItem> FItems;
  HMENU FMenu = nullptr;
  HWND FToolBar = nullptr;
};

// Parses "Ctrl+O": the virtual key and the modifier flags of an accelerator; false when it is no shortcut.
bool ParseShortCut(const std::wstring& Text, WORD& Key, BYTE& Flags);

} // namespace ui
