#include "ui/TreeBinding.h"

#include <commctrl.h>
#include <set>

namespace ui {

TTreeBinding::TTreeBinding(HWND Tree, TTreeModel& Model) : FTree(Tree), FModel(Model) {
  FModel.Changed = [this] { Sync(); };
  Sync();
}

TTreeBinding::~TTreeBinding() {
  FModel.Changed = nullptr;
}

// The model tells only that something changed: the view is refilled when the nodes differ from the ones
// shown, so that a selection change does not refill a tree of thousands of nodes.
void TTreeBinding::Sync() {
  std::vector<TShownNode> Nodes;
  for (TTreeNode* Node : FModel.AllNodes())
    Nodes.push_back({Node, Node->Data, Node->Text, Node->Level(), PlaceOf(Node)});
  if (Nodes != FShown)
    Refill(Nodes);
  SyncSelection();
}

// A node's place for the user: the data of it and of each of its parents, which stay when the tree is
// filled again over the same definition.
std::vector<void*> TTreeBinding::PlaceOf(const TTreeNode* Node) {
  std::vector<void*> Place;
  for (; Node != nullptr; Node = Node->Parent())
    Place.push_back(Node->Data);
  return Place;
}

// The user's expanded nodes stay expanded when the nodes are refilled.
void TTreeBinding::Refill(const std::vector<TShownNode>& Nodes) {
  std::set<std::vector<void*>> Expanded;
  for (const TShownNode& Shown : FShown) {
    auto Item = FItems.find(Shown.Node);
    if (Item != FItems.end() && (TreeView_GetItemState(FTree, Item->second, TVIS_EXPANDED) & TVIS_EXPANDED))
      Expanded.insert(Shown.Place);
  }
  FSyncing = true;
  ::SendMessageW(FTree, WM_SETREDRAW, FALSE, 0);
  TreeView_DeleteAllItems(FTree);
  FItems.clear();
  for (const TShownNode& Shown : Nodes) {
    TVINSERTSTRUCTW Insert{};
    Insert.hParent = Shown.Level == 0 ? TVI_ROOT : FItems.at(Shown.Node->Parent());
    Insert.hInsertAfter = TVI_LAST;
    Insert.item.mask = TVIF_TEXT | TVIF_PARAM;
    Insert.item.pszText = const_cast<wchar_t*>(Shown.Text.c_str());
    Insert.item.lParam = reinterpret_cast<LPARAM>(Shown.Node);
    FItems[Shown.Node] = TreeView_InsertItem(FTree, &Insert);
  }
  for (const TShownNode& Shown : Nodes)
    if (Expanded.count(Shown.Place) != 0)
      TreeView_Expand(FTree, FItems.at(Shown.Node), TVE_EXPAND);
  FShown = Nodes;
  ::SendMessageW(FTree, WM_SETREDRAW, TRUE, 0);
  ::InvalidateRect(FTree, nullptr, TRUE);
  FSyncing = false;
}

void TTreeBinding::SyncSelection() {
  auto Found = FItems.find(FModel.Selected());
  HTREEITEM Wanted = Found == FItems.end() ? nullptr : Found->second;
  if (TreeView_GetSelection(FTree) == Wanted)
    return;
  FSyncing = true;
  TreeView_SelectItem(FTree, Wanted);
  FSyncing = false;
}

bool TTreeBinding::Notify(const NMHDR& Header) {
  if (Header.hwndFrom != FTree || Header.code != TVN_SELCHANGEDW)
    return false;
  if (!FSyncing) {
    const auto& Change = reinterpret_cast<const NMTREEVIEWW&>(Header);
    FModel.Select(reinterpret_cast<TTreeNode*>(Change.itemNew.lParam));
  }
  return true;
}

} // namespace ui
