// The folder dialog: the common item dialog in folder mode where the system has it (Windows Vista and
// later, Wine), the shell's folder browser otherwise. The item dialog opens in the proposed folder's parent
// with the proposed folder's name in its folder box, set before it shows, so that OK alone confirms the
// proposed folder (the item dialog of Wine confirms nothing with an empty box), and a folder typed into
// the box is the one returned. The folder browser can select the proposed folder only once its tree has
// been filled, which a busy machine may not have done in time.
#include "base/Text.h"
#include "ui/WinServices.h"

#include <objbase.h>
#include <optional>
#include <shlobj.h>
#include <shobjidl.h>

namespace ui {

namespace {

// COM on this thread for the dialog's length; the program's thread has it already (OLE).
class TComScope {
public:
  TComScope() : FResult(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~TComScope() {
    if (SUCCEEDED(FResult))
      ::CoUninitialize();
  }
  TComScope(const TComScope&) = delete;
  TComScope& operator=(const TComScope&) = delete;

private:
  HRESULT FResult;
};

// Owns one reference to a COM object.
template <class T> class TComRef {
public:
  TComRef() = default;
  ~TComRef() {
    if (FObject != nullptr)
      FObject->Release();
  }
  TComRef(const TComRef&) = delete;
  TComRef& operator=(const TComRef&) = delete;
  T* operator->() const { return FObject; }
  T* Get() const { return FObject; }
  void** Out() { return reinterpret_cast<void**>(&FObject); }

private:
  T* FObject = nullptr;
};

// The file-system path of Item, or nothing when it has none.
std::optional<std::wstring> PathOf(IShellItem& Item) {
  PWSTR Path = nullptr;
  if (FAILED(Item.GetDisplayName(SIGDN_FILESYSPATH, &Path)))
    return std::nullopt;
  std::wstring Result = Path;
  ::CoTaskMemFree(Path);
  return Result;
}

// Opens Dialog in the parent of Folder with Folder's name in the folder box; a folder without a parent
// (a drive's root) opens as it is.
void Propose(IFileOpenDialog& Dialog, std::wstring Folder) {
  while (Folder.size() > 1 && (Folder.back() == L'\\' || Folder.back() == L'/') &&
         Folder[Folder.size() - 2] != L':')
    Folder.pop_back();
  size_t Split = Folder.find_last_of(L"\\/");
  bool HasParent = Split != std::wstring::npos && Split + 1 < Folder.size();
  std::wstring Start = HasParent ? Folder.substr(0, Split + 1) : Folder;
  TComRef<IShellItem> Item;
  if (Start.empty() ||
      FAILED(::SHCreateItemFromParsingName(Start.c_str(), nullptr, IID_IShellItem, Item.Out())))
    return;
  Dialog.SetFolder(Item.Get());
  if (HasParent)
    Dialog.SetFileName(Folder.substr(Split + 1).c_str());
}

// Runs the common item dialog in folder mode: true when the user confirmed a folder, false when they
// cancelled; nothing when the system has no such dialog.
std::optional<bool> PickFolder(HWND Owner, TFolderDialogState& State) {
  TComRef<IFileOpenDialog> Dialog;
  if (FAILED(::CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileOpenDialog,
                                Dialog.Out())))
    return std::nullopt;
  FILEOPENDIALOGOPTIONS Options = 0;
  Dialog->GetOptions(&Options);
  Options |= FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST;
  if (State.MayBeNew)
    Options &= ~static_cast<FILEOPENDIALOGOPTIONS>(FOS_PATHMUSTEXIST | FOS_FILEMUSTEXIST);
  Dialog->SetOptions(Options);
  Dialog->SetTitle(State.Caption.c_str());
  Propose(*Dialog.Get(), AnsiToWide(State.Folder));
  if (FAILED(Dialog->Show(Owner)))
    return false;
  TComRef<IShellItem> Chosen;
  if (FAILED(Dialog->GetResult(reinterpret_cast<IShellItem**>(Chosen.Out()))))
    return false;
  std::optional<std::wstring> Path = PathOf(*Chosen.Get());
  if (!Path)
    return false;
  State.Folder = WideToAnsi(*Path);
  return true;
}

int CALLBACK BrowseCallback(HWND Dialog, UINT Message, LPARAM, LPARAM Folder) {
  if (Message == BFFM_INITIALIZED)
    ::SendMessageW(Dialog, BFFM_SETSELECTIONW, TRUE, Folder);
  return 0;
}

bool BrowseWithShell(HWND Owner, TFolderDialogState& State) {
  std::wstring Folder = AnsiToWide(State.Folder);
  wchar_t Display[MAX_PATH] = {};
  BROWSEINFOW Info{};
  Info.hwndOwner = Owner;
  Info.pszDisplayName = Display;
  Info.lpszTitle = State.Caption.c_str();
  Info.ulFlags = BIF_EDITBOX | BIF_NEWDIALOGSTYLE | BIF_STATUSTEXT | BIF_USENEWUI;
  Info.lpfn = &BrowseCallback;
  Info.lParam = reinterpret_cast<LPARAM>(Folder.c_str());
  PIDLIST_ABSOLUTE Chosen = ::SHBrowseForFolderW(&Info);
  if (Chosen == nullptr)
    return false;
  wchar_t Path[MAX_PATH] = {};
  bool HasPath = ::SHGetPathFromIDListW(Chosen, Path) != FALSE;
  ::CoTaskMemFree(Chosen);
  if (HasPath)
    State.Folder = WideToAnsi(Path);
  return HasPath;
}

} // namespace

bool TWinDialogs::BrowseForFolder(TFolderDialogState& State) {
  TComScope Com;
  if (std::optional<bool> Picked = PickFolder(Owner, State))
    return *Picked;
  return BrowseWithShell(Owner, State);
}

} // namespace ui
