#pragma once
// Mirrors a tree model (app/Controls.h) into a Win32 tree view and turns the user's selection into the
// model's selection. Each item carries its model node as lParam.

#include "app/Controls.h"

#include <windows.h>

#include <commctrl.h>
#include <string>
#include <unordered_map>
#include <vector>

namespace ui {

class TTreeBinding {
public:
  TTreeBinding(HWND Tree, TTreeModel& Model);
  ~TTreeBinding();
  TTreeBinding(const TTreeBinding&) = delete;
  TTreeBinding& operator=(const TTreeBinding&) = delete;

  // A WM_NOTIFY of the tree view; true when handled.
  bool Notify(const NMHDR& Header);

private:
  struct TShownNode {
    TTreeNode* Node;
    void* Data;
    std::wstring Text;
    int Level;
    std::vector<void*> Place;
    bool operator==(const TShownNode&) const = default;
  };
  static std::vector<void*> PlaceOf(const TTreeNode* Node);
  void Sync();
  void Refill(const std::vector<TShownNode>& Nodes);
  void SyncSelection();

  HWND FTree;
  TTreeModel& FModel;
  std::vector<TShownNode> FShown;
  std::unordered_map<const TTreeNode*, HTREEITEM> FItems;
  bool FSyncing = false;
};

} // namespace ui
