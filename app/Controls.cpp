#include "app/Controls.h"

#include <algorithm>

namespace {

void Call(const std::function<void()>& Handler) {
  if (Handler)
    Handler();
}

} // namespace

// ---- TTreeModel ----

TTreeNode* TTreeModel::AddChild(TTreeNode* Parent, const std::wstring& Text, void* Data) {
  auto Node = std::make_unique<TTreeNode>(Parent, Text, Data);
  std::vector<std::unique_ptr<TTreeNode>>& Siblings = Parent == nullptr ? FRoots : Parent->FChildren;
  Siblings.push_back(std::move(Node));
  Notify();
  return Siblings.back().get();
}

void TTreeModel::Clear() {
  FSelected = nullptr;
  FRoots.clear();
  Notify();
}

void TTreeModel::EndUpdate() {
  --FUpdating;
  Notify();
}

void TTreeModel::Select(TTreeNode* Node) {
  FSelected = Node;
  Notify();
  if (OnChange)
    OnChange(Node);
}

std::vector<TTreeNode*> TTreeModel::AllNodes() const {
  std::vector<TTreeNode*> Nodes;
  std::function<void(TTreeNode*)> Walk = [&](TTreeNode* Node) {
    Nodes.push_back(Node);
    for (int I = 0; I < Node->Count(); ++I)
      Walk(Node->Item(I));
  };
  for (const auto& Root : FRoots)
    Walk(Root.get());
  return Nodes;
}

void TTreeModel::Notify() {
  if (FUpdating == 0)
    Call(Changed);
}

// ---- TComboModel ----

void TComboModel::Add(const std::wstring& Text, void* Object) {
  FItems.push_back(Text);
  FObjects.push_back(Object);
  Notify();
}

void TComboModel::Clear() {
  FItems.clear();
  FObjects.clear();
  FItemIndex = -1;
  Notify();
}

void TComboModel::EndUpdate() {
  --FUpdating;
  Notify();
}

void TComboModel::SetItemIndex(int Index) {
  FItemIndex = Index >= 0 && Index < Count() ? Index : -1;
  Notify();
}

void TComboModel::UserSelect(int Index) {
  SetItemIndex(Index);
  Call(OnChange);
}

int TComboModel::IndexOfObject(const void* Object) const {
  auto Found = std::find(FObjects.begin(), FObjects.end(), Object);
  return Found == FObjects.end() ? -1 : static_cast<int>(Found - FObjects.begin());
}

void TComboModel::Notify() {
  if (FUpdating == 0)
    Call(Changed);
}

// ---- TEditModel ----

void TEditModel::SetText(const std::wstring& Text) {
  FText = Text;
  Call(Changed);
  Call(OnChange);
}

void TEditModel::UserType(const std::wstring& Text) {
  SetText(MaxLength > 0 && Text.size() > static_cast<size_t>(MaxLength) ? Text.substr(0, MaxLength) : Text);
}

// ---- the rest ----

void TVisibility::SetVisible(bool Visible) {
  FVisible = Visible;
  Call(Changed);
}

void TActionModel::SetCaption(const std::wstring& Caption) {
  if (FCaption == Caption)
    return;
  FCaption = Caption;
  Notify();
}

void TActionModel::SetImageIndex(int ImageIndex) {
  if (FImageIndex == ImageIndex)
    return;
  FImageIndex = ImageIndex;
  Notify();
}

void TActionModel::SetEnabled(bool Enabled) {
  if (FEnabled == Enabled)
    return;
  FEnabled = Enabled;
  Notify();
}

void TActionModel::Notify() {
  Call(Changed);
}

void TStatusModel::SetText(const std::wstring& Text) {
  FText = Text;
  Call(Changed);
}

void TProgressModel::Show(int64_t Done, int64_t Total) {
  int Permille = Total <= 0 ? 0 : static_cast<int>(std::clamp<int64_t>(Done * 1000 / Total, 0, 1000));
  if (FVisible && Permille == FPermille)
    return;
  FVisible = true;
  FPermille = Permille;
  Call(Changed);
}

void TProgressModel::Hide() {
  if (!FVisible)
    return;
  FVisible = false;
  FPermille = 0;
  Call(Changed);
}

// ---- TCheckModel ----

void TCheckModel::SetCaption(const std::wstring& Caption) {
  if (FCaption == Caption)
    return;
  FCaption = Caption;
  Call(Changed);
}

void TCheckModel::SetChecked(bool Checked) {
  if (FChecked == Checked)
    return;
  FChecked = Checked;
  Call(Changed);
}

void TCheckModel::SetEnabled(bool Enabled) {
  if (FEnabled == Enabled)
    return;
  FEnabled = Enabled;
  Call(Changed);
}
