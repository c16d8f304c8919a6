#include "ui/ActionList.h"

#include <commctrl.h>
#include <stdexcept>

namespace ui {

TActionList::~TActionList() {
  for (TItem& Item : FItems)
    Item.Action->Changed = nullptr;
}

void TActionList::Add(TActionModel& Action, std::function<void()> Execute, std::wstring MenuCaption) {
  size_t Index = FItems.size();
  FItems.push_back({&Action, std::move(Execute), std::move(MenuCaption), Action.Caption()});
  Action.Changed = [this, Index] { Refresh(Index); };
}

int TActionList::IndexOf(const TActionModel& Action) const {
  for (size_t I = 0; I < FItems.size(); ++I)
    if (FItems[I].Action == &Action)
      return static_cast<int>(I);
  throw std::logic_error("action not in the list");
}

int TActionList::CommandOf(const TActionModel& Action) const {
  return FirstCommand + IndexOf(Action);
}

const TActionModel* TActionList::ActionOf(int Command) const {
  size_t Index = static_cast<size_t>(Command - FirstCommand);
  return Command >= FirstCommand && Index < FItems.size() ? FItems[Index].Action : nullptr;
}

bool TActionList::Execute(int Command) {
  if (ActionOf(Command) == nullptr)
    return false;
  TItem& Item = FItems[static_cast<size_t>(Command - FirstCommand)];
  if (Item.Action->Enabled() && Item.Execute)
    Item.Execute();
  return true;
}

std::wstring TActionList::MenuText(const TItem& Item) const {
  const std::wstring& Caption = Item.Action->Caption();
  std::wstring Text = Caption;
  if (!Item.MenuCaption.empty() && Caption.compare(0, Item.FirstCaption.size(), Item.FirstCaption) == 0)
    Text = Item.MenuCaption + Caption.substr(Item.FirstCaption.size());
  if (!Item.Action->ShortCut.empty())
    Text += L"\t" + Item.Action->ShortCut;
  return Text;
}

HMENU TActionList::CreateMenuBar(const std::vector<TMenuLayout>& Layout) {
  FMenu = ::CreateMenu();
  for (const TMenuLayout& Menu : Layout) {
    HMENU Popup = ::CreatePopupMenu();
    for (const TActionModel* Action : Menu.Items) {
      if (Action == nullptr) {
        ::AppendMenuW(Popup, MF_SEPARATOR, 0, nullptr);
        continue;
      }
      const TItem& Item = FItems[static_cast<size_t>(IndexOf(*Action))];
      UINT Flags = MF_STRING | (Action->Enabled() ? MF_ENABLED : MF_GRAYED);
      ::AppendMenuW(Popup, Flags, static_cast<UINT_PTR>(CommandOf(*Action)), MenuText(Item).c_str());
    }
    ::AppendMenuW(FMenu, MF_POPUP, reinterpret_cast<UINT_PTR>(Popup), Menu.Caption);
  }
  return FMenu;
}

void TActionList::FillToolBar(HWND ToolBar, const std::vector<const TActionModel*>& Actions) {
  FToolBar = ToolBar;
  ::SendMessageW(ToolBar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  std::vector<TBBUTTON> Buttons;
  for (const TActionModel* Action : Actions) {
    TBBUTTON Button{};
    Button.iString = -1;
    if (Action == nullptr) {
      Button.fsStyle = BTNS_SEP;
    } else {
      Button.iBitmap = Action->ImageIndex();
      Button.idCommand = CommandOf(*Action);
      Button.fsState = Action->Enabled() ? TBSTATE_ENABLED : 0;
      Button.fsStyle = BTNS_BUTTON;
    }
    Buttons.push_back(Button);
  }
  ::SendMessageW(ToolBar, TB_ADDBUTTONSW, Buttons.size(), reinterpret_cast<LPARAM>(Buttons.data()));
}

void TActionList::Refresh(size_t Index) {
  const TItem& Item = FItems[Index];
  int Command = FirstCommand + static_cast<int>(Index);
  if (FMenu != nullptr) {
    std::wstring Text = MenuText(Item);
    MENUITEMINFOW Info{};
    Info.cbSize = sizeof Info;
    Info.fMask = MIIM_STRING | MIIM_STATE;
    Info.dwTypeData = Text.data();
    Info.fState = Item.Action->Enabled() ? MFS_ENABLED : MFS_GRAYED;
    ::SetMenuItemInfoW(FMenu, static_cast<UINT>(Command), FALSE, &Info);
  }
  if (FToolBar != nullptr) {
    ::SendMessageW(FToolBar, TB_ENABLEBUTTON, static_cast<WPARAM>(Command),
                   MAKELPARAM(Item.Action->Enabled(), 0));
    ::SendMessageW(FToolBar, TB_CHANGEBITMAP, static_cast<WPARAM>(Command),
                   MAKELPARAM(Item.Action->ImageIndex(), 0));
  }
}

HACCEL TActionList::CreateAccelerators() const {
  std::vector<ACCEL> Table;
  for (size_t I = 0; I < FItems.size(); ++I) {
    ACCEL Entry{};
    if (ParseShortCut(FItems[I].Action->ShortCut, Entry.key, Entry.fVirt)) {
      Entry.cmd = static_cast<WORD>(FirstCommand + static_cast<int>(I));
      Table.push_back(Entry);
    }
  }
  return Table.empty() ? nullptr : ::CreateAcceleratorTableW(Table.data(), static_cast<int>(Table.size()));
}

bool ParseShortCut(const std::wstring& Text, WORD& Key, BYTE& Flags) {
  static const std::wstring Ctrl = L"Ctrl+";
  if (Text.size() != Ctrl.size() + 1 || Text.compare(0, Ctrl.size(), Ctrl) != 0)
    return false;
  Key = static_cast<WORD>(Text.back());
  Flags = FVIRTKEY | FCONTROL;
  return true;
}

} // namespace ui
