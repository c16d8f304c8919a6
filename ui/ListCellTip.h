#pragma once
// A tool tip over a report list that shows the whole text of the cell under the mouse, so that a text the
// column cuts is read in full there.

#include <windows.h>

#include <string>

namespace ui {

class TListCellTip {
public:
  // Owner: the window the list lies in, which owns the tip; Font: the list's; MaxWidth: the widest a tip
  // grows before it wraps, in pixels.
  TListCellTip(HWND Owner, HWND List, HFONT Font, int MaxWidth);
  ~TListCellTip();
  TListCellTip(const TListCellTip&) = delete;
  TListCellTip& operator=(const TListCellTip&) = delete;

private:
  TTTOOLINFOW Tool();
  // The cell at Point of the list's client area; the text of the tip follows it.
  void PointAt(POINT Point);
  static LRESULT CALLBACK ListProc(HWND List, UINT Message, WPARAM WParam, LPARAM LParam, UINT_PTR,
                                   DWORD_PTR Tip);

  HWND FOwner, FList, FTip;
  std::wstring FText;
  int FRow = -1, FColumn = -1;
};

} // namespace ui
