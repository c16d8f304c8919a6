#include "ui/ListCellTip.h"

#include <commctrl.h>
#include <windowsx.h>

namespace ui {

namespace {
constexpr UINT_PTR ListSubclass = 1;
}

TListCellTip::TListCellTip(HWND Owner, HWND List, HFONT Font, int MaxWidth) : FOwner(Owner), FList(List) {
  FTip = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Owner, nullptr,
                           ::GetModuleHandleW(nullptr), nullptr);
  ::SendMessageW(FTip, WM_SETFONT, reinterpret_cast<WPARAM>(Font), FALSE);
  ::SendMessageW(FTip, TTM_SETMAXTIPWIDTH, 0, MaxWidth);
  TTTOOLINFOW Info = Tool();
  ::SendMessageW(FTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&Info));
  ::SetWindowSubclass(FList, &ListProc, ListSubclass, reinterpret_cast<DWORD_PTR>(this));
}

TListCellTip::~TListCellTip() {
  ::RemoveWindowSubclass(FList, &ListProc, ListSubclass);
  ::DestroyWindow(FTip);
}

TTTOOLINFOW TListCellTip::Tool() {
  TTTOOLINFOW Info{};
  Info.cbSize = sizeof Info;
  Info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  Info.hwnd = FOwner;
  Info.uId = reinterpret_cast<UINT_PTR>(FList);
  Info.lpszText = const_cast<wchar_t*>(FText.c_str());
  return Info;
}

void TListCellTip::PointAt(POINT Point) {
  LVHITTESTINFO Hit{};
  Hit.pt = Point;
  int Row = static_cast<int>(::SendMessageW(FList, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&Hit)));
  std::wstring Text;
  if (Row >= 0 && Hit.iSubItem >= 0) {
    wchar_t Buffer[1024] = {};
    LVITEMW Item{};
    Item.iSubItem = Hit.iSubItem;
    Item.pszText = Buffer;
    Item.cchTextMax = static_cast<int>(std::size(Buffer));
    ::SendMessageW(FList, LVM_GETITEMTEXTW, static_cast<WPARAM>(Row), reinterpret_cast<LPARAM>(&Item));
    Text = Buffer;
  }
  if (Text == FText && Row == FRow && Hit.iSubItem == FColumn)
    return;
  FText = Text;
  FRow = Row;
  FColumn = Hit.iSubItem;
  TTTOOLINFOW Info = Tool();
  ::SendMessageW(FTip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&Info));
  // A new cell shows its own tip, after the usual delay.
  ::SendMessageW(FTip, TTM_POP, 0, 0);
}

LRESULT CALLBACK TListCellTip::ListProc(HWND List, UINT Message, WPARAM WParam, LPARAM LParam, UINT_PTR,
                                        DWORD_PTR Tip) {
  if (Message == WM_MOUSEMOVE)
    reinterpret_cast<TListCellTip*>(Tip)->PointAt({GET_X_LPARAM(LParam), GET_Y_LPARAM(LParam)});
  return ::DefSubclassProc(List, Message, WParam, LParam);
}

} // namespace ui
