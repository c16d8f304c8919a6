#include "ui/EditBinding.h"
#include "ui/Window.h"

namespace ui {

TEditBinding::TEditBinding(HWND Edit, TEditModel& Model) : FEdit(Edit), FModel(Model) {
  if (FModel.MaxLength > 0)
    ::SendMessageW(FEdit, EM_LIMITTEXT, static_cast<WPARAM>(FModel.MaxLength), 0);
  FModel.Changed = [this] { Sync(); };
  Sync();
}

TEditBinding::~TEditBinding() {
  FModel.Changed = nullptr;
}

std::wstring TEditBinding::ControlText() const {
  return WindowText(FEdit);
}

void TEditBinding::Sync() {
  if (ControlText() == FModel.Text())
    return;
  // The model has already run its change event for this text; the control's EN_CHANGE must not repeat it.
  FSyncing = true;
  ::SetWindowTextW(FEdit, FModel.Text().c_str());
  FSyncing = false;
}

bool TEditBinding::Command(HWND From, int Code) {
  if (From != FEdit)
    return false;
  // A change the model already has (told twice) is no typing.
  if (Code == EN_CHANGE && !FSyncing && ControlText() != FModel.Text())
    FModel.UserType(ControlText());
  if (Code == EN_KILLFOCUS && FModel.OnExit)
    FModel.OnExit();
  return true;
}

} // namespace ui
