#pragma once
// Plain models of the window's controls. They hold exactly the state the window logic reads and writes,
// so the logic runs without a window; ui/ mirrors each model into a real control.
//
// Events: a model's OnChange is the control's change event as the logic sees it. Setting an edit's text
// runs it (from code too); choosing a combo item runs it only when the user does (UserSelect), not when
// code sets the index; selecting a tree node runs it whenever the selection moves. Changed is for the view
// binding and runs after every change of what the control shows.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// A node of the tree: caption, one model object as data, and child nodes.
class TTreeNode {
public:
  TTreeNode(TTreeNode* Parent, std::wstring Text, void* Data)
      : Text(std::move(Text)), Data(Data), FParent(Parent) {}

  // 0 for a root node, 1 for its children, ...
  int Level() const { return FParent == nullptr ? 0 : FParent->Level() + 1; }
  TTreeNode* Parent() const { return FParent; }
  int Count() const { return static_cast<int>(FChildren.size()); }
  TTreeNode* Item(int Index) const { return FChildren.at(static_cast<size_t>(Index)).get(); }

  std::wstring Text;
  void* Data;

private:
  friend class TTreeModel;
  TTreeNode* FParent;
  std::vector<std::unique_ptr<TTreeNode>> FChildren;
};

class TTreeModel {
public:
  int RootCount() const { return static_cast<int>(FRoots.size()); }
  TTreeNode* Root(int Index) const { return FRoots.at(static_cast<size_t>(Index)).get(); }
  // Appends a node under Parent (a root node when Parent is nullptr).
  TTreeNode* AddChild(TTreeNode* Parent, const std::wstring& Text, void* Data);
  // Deletes every node; nothing is selected afterwards. The change event does not run.
  void Clear();
  // Suspends and resumes the view's redrawing.
  void BeginUpdate() { ++FUpdating; }
  void EndUpdate();

  TTreeNode* Selected() const { return FSelected; }
  // Selects Node (nullptr: none) and runs OnChange with it.
  void Select(TTreeNode* Node);
  // Every node, depth first, in display order.
  std::vector<TTreeNode*> AllNodes() const;

  std::function<void(TTreeNode*)> OnChange;
  std::function<void()> Changed;

private:
  void Notify();
  std::vector<std::unique_ptr<TTreeNode>> FRoots;
  TTreeNode* FSelected = nullptr;
  int FUpdating = 0;
};

// A drop-down list: item texts, one object per item, the selected index (-1: none).
class TComboModel {
public:
  explicit TComboModel(std::wstring Hint = L"") : Hint(std::move(Hint)) {}
  int Count() const { return static_cast<int>(FItems.size()); }
  const std::wstring& Items(int Index) const { return FItems.at(static_cast<size_t>(Index)); }
  void* Objects(int Index) const { return FObjects.at(static_cast<size_t>(Index)); }
  void Add(const std::wstring& Text, void* Object = nullptr);
  // Empties the list; nothing is selected.
  void Clear();
  void BeginUpdate() { ++FUpdating; }
  void EndUpdate();

  int ItemIndex() const { return FItemIndex; }
  // Sets the selection from code: the change event does not run. An index outside the list selects none.
  void SetItemIndex(int Index);
  // The user picks an item: the selection changes and the change event runs.
  void UserSelect(int Index);
  // Position of the first item carrying Object, or -1.
  int IndexOfObject(const void* Object) const;

  const std::wstring Hint;
  std::function<void()> OnChange;
  std::function<void()> Changed;

private:
  void Notify();
  std::vector<std::wstring> FItems;
  std::vector<void*> FObjects;
  int FItemIndex = -1;
  int FUpdating = 0;
};

// A one-line edit. Setting its text runs the change event, from code as from the user.
class TEditModel {
public:
  explicit TEditModel(int MaxLength = 0) : MaxLength(MaxLength) {}
  const std::wstring& Text() const { return FText; }
  void SetText(const std::wstring& Text);
  // The user types Text: it is cut to MaxLength characters (0: no limit), as the control accepts no more.
  void UserType(const std::wstring& Text);

  const int MaxLength;
  std::function<void()> OnChange;
  std::function<void()> OnExit; // the focus left the control
  std::function<void()> Changed;

private:
  std::wstring FText;
};

// A control that is shown or hidden.
class TVisibility {
public:
  explicit TVisibility(bool Visible = true) : FVisible(Visible) {}
  bool Visible() const { return FVisible; }
  void SetVisible(bool Visible);
  std::function<void()> Changed;

private:
  bool FVisible;
};

// An action: what its menu items and tool buttons show, and whether they are enabled.
class TActionModel {
public:
  TActionModel(std::wstring Caption, int ImageIndex, std::wstring Hint, std::wstring ShortCut = L"")
      : ShortCut(std::move(ShortCut)), FCaption(std::move(Caption)), FImageIndex(ImageIndex),
        FHint(std::move(Hint)) {}

  const std::wstring& Caption() const { return FCaption; }
  int ImageIndex() const { return FImageIndex; }
  bool Enabled() const { return FEnabled; }
  const std::wstring& Hint() const { return FHint; }
  void SetCaption(const std::wstring& Caption);
  void SetImageIndex(int ImageIndex);
  void SetEnabled(bool Enabled);

  const std::wstring ShortCut;
  std::function<void()> Changed;

private:
  void Notify();
  std::wstring FCaption;
  int FImageIndex;
  std::wstring FHint;
  bool FEnabled = true;
};

// The status bar's single panel.
class TStatusModel {
public:
  const std::wstring& Text() const { return FText; }
  void SetText(const std::wstring& Text);
  std::function<void()> Changed;

private:
  std::wstring FText;
};

// A progress bar in the status bar: hidden, or showing a share from 0 to 1000 (per mille). Changed runs
// only when what it shows changes, so a long copy can report every block cheaply.
class TProgressModel {
public:
  bool Visible() const { return FVisible; }
  int Permille() const { return FPermille; }
  // Shows Done of Total (a Total of 0 shows an empty bar).
  void Show(int64_t Done, int64_t Total);
  void Hide();
  std::function<void()> Changed;

private:
  bool FVisible = false;
  int FPermille = 0;
};

// A check box: its caption, whether it is checked, and whether the user can change it.
class TCheckModel {
public:
  TCheckModel(std::wstring Caption, bool Checked) : FCaption(std::move(Caption)), FChecked(Checked) {}
  const std::wstring& Caption() const { return FCaption; }
  bool Checked() const { return FChecked; }
  bool Enabled() const { return FEnabled; }
  void SetCaption(const std::wstring& Caption);
  void SetChecked(bool Checked);
  void SetEnabled(bool Enabled);
  std::function<void()> Changed;

private:
  std::wstring FCaption;
  bool FChecked;
  bool FEnabled = true;
};

// A push button: its caption and hint.
struct TButtonModel {
  std::wstring Caption;
  std::wstring Hint;
};

// A label: its caption and hint.
struct TLabelModel {
  std::wstring Caption;
  std::wstring Hint;
};
