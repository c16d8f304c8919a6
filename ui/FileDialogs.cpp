// The common file dialogs. Each keeps its state in a TFileDialogState between runs, as the dialog actions
// do.
#include "base/Text.h"
#include "ui/ErrorGuard.h"
#include "ui/WinServices.h"

#include <commdlg.h>

namespace ui {

namespace {

constexpr size_t FileNameCapacity = 32768;
constexpr int FileNameBox = 0x047C;

// "Text|*.txt|All|*.*" as the dialogs want it: NUL-separated and ending with two NULs.
std::wstring NulSeparated(const std::wstring& Filter) {
  std::wstring Result = Filter;
  for (wchar_t& Char : Result)
    if (Char == L'|')
      Char = L'\0';
  Result.push_back(L'\0');
  Result.push_back(L'\0');
  return Result;
}

class TFileDialog {
public:
  TFileDialog(HWND Owner, TFileDialogState& State) : FState(State), FFilter(NulSeparated(State.Filter)) {
    FFile.assign(FileNameCapacity, L'\0');
    FState.FileName.copy(FFile.data(), std::min(FState.FileName.size(), FileNameCapacity - 1));
    Ofn.lStructSize = sizeof Ofn;
    Ofn.hwndOwner = Owner;
    Ofn.lpstrFilter = FState.Filter.empty() ? nullptr : FFilter.c_str();
    Ofn.nFilterIndex = static_cast<DWORD>(FState.FilterIndex);
    Ofn.lpstrFile = FFile.data();
    Ofn.nMaxFile = static_cast<DWORD>(FFile.size());
    Ofn.lpstrTitle = FState.Title.empty() ? nullptr : FState.Title.c_str();
    Ofn.lpstrDefExt = FState.DefaultExt.empty() ? nullptr : FState.DefaultExt.c_str();
    Ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING;
  }
  bool Finish(BOOL Confirmed) {
    if (!Confirmed)
      return false;
    FState.FileName = FFile.c_str();
    FState.FilterIndex = static_cast<int>(Ofn.nFilterIndex);
    return true;
  }
  OPENFILENAMEW Ofn{};

private:
  TFileDialogState& FState;
  std::wstring FFilter, FFile;
};

// The running save dialog as its type-change handler sees it.
class TRunningDialog : public IOpenSaveDialog {
public:
  TRunningDialog(HWND Dialog, const OPENFILENAMEW& Ofn) : FDialog(Dialog), FOfn(Ofn) {}
  int FilterIndex() const override { return static_cast<int>(FOfn.nFilterIndex); }
  std::wstring CurrentFolder() const override { return Ask(CDM_GETFOLDERPATH, MAX_PATH); }
  std::wstring CurrentFileName() const override { return Ask(CDM_GETFILEPATH, FileNameCapacity); }
  void SetFileNameBox(const std::wstring& Text) override {
    ::SendMessageW(FDialog, CDM_SETCONTROLTEXT, FileNameBox, reinterpret_cast<LPARAM>(Text.c_str()));
  }

private:
  std::wstring Ask(UINT Message, size_t Capacity) const {
    std::wstring Text(Capacity, L'\0');
    LRESULT Length = ::SendMessageW(FDialog, Message, Capacity, reinterpret_cast<LPARAM>(Text.data()));
    return Length > 0 ? std::wstring(Text.c_str()) : std::wstring();
  }
  HWND FDialog;
  const OPENFILENAMEW& FOfn;
};

UINT_PTR CALLBACK SaveHook(HWND Child, UINT Message, WPARAM, LPARAM LParam) {
  if (Message == WM_INITDIALOG) {
    ::SetWindowLongPtrW(Child, DWLP_USER,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<OPENFILENAMEW*>(LParam)));
  } else if (Message == WM_NOTIFY && reinterpret_cast<NMHDR*>(LParam)->code == CDN_TYPECHANGE) {
    const OPENFILENAMEW& Ofn = *reinterpret_cast<OFNOTIFYW*>(LParam)->lpOFN;
    auto& OnTypeChange = *reinterpret_cast<const std::function<void(IOpenSaveDialog&)>*>(Ofn.lCustData);
    // The hook's window is a child of the dialog, which answers the CDM_ messages.
    TRunningDialog Running(::GetParent(Child), Ofn);
    Guarded([&] { OnTypeChange(Running); });
  }
  return 0;
}

} // namespace

bool TWinDialogs::ExecuteOpen(TFileDialogState& State) {
  TFileDialog Dialog(Owner, State);
  // Only a file that exists can be opened or imported: a mistyped name is refused by the dialog itself.
  Dialog.Ofn.Flags |= OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
  return Dialog.Finish(::GetOpenFileNameW(&Dialog.Ofn));
}

bool TWinDialogs::ExecuteOpenMany(TFileDialogState& State, std::vector<std::wstring>& Files) {
  TFileDialog Dialog(Owner, State);
  Dialog.Ofn.Flags |= OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_ALLOWMULTISELECT;
  if (!Dialog.Finish(::GetOpenFileNameW(&Dialog.Ofn)))
    return false;
  // One file comes as its path; several as their folder and then each name, each ending with a NUL, and
  // one more NUL after the last.
  const wchar_t* Next = Dialog.Ofn.lpstrFile;
  std::wstring First = Next;
  Next += First.size() + 1;
  Files.clear();
  if (*Next == L'\0')
    Files.push_back(First);
  while (*Next != L'\0') {
    std::wstring Name = Next;
    Files.push_back(First + (First.back() == L'\\' ? L"" : L"\\") + Name);
    Next += Name.size() + 1;
  }
  State.FileName = Files.front();
  return true;
}

bool TWinDialogs::ExecuteSave(TFileDialogState& State,
                              const std::function<void(IOpenSaveDialog&)>& OnTypeChange) {
  TFileDialog Dialog(Owner, State);
  Dialog.Ofn.Flags |= OFN_ENABLEHOOK | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
  Dialog.Ofn.lpfnHook = &SaveHook;
  Dialog.Ofn.lCustData = reinterpret_cast<LPARAM>(&OnTypeChange);
  return Dialog.Finish(::GetSaveFileNameW(&Dialog.Ofn));
}

} // namespace ui
