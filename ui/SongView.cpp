#include "ui/SongView.h"

#include <algorithm>

namespace ui {

namespace {

constexpr UINT WakeMessage = WM_APP + 2;
constexpr COLORREF PeakRed = RGB(200, 0, 0);

// The smallest and largest value of the points that fall to column X of Width columns (at least one).
TEnvelopePoint ColumnOf(const std::vector<TEnvelopePoint>& Points, int X, int Width) {
  const size_t Count = Points.size();
  size_t First = Count * static_cast<size_t>(X) / static_cast<size_t>(Width);
  size_t Last = std::max(First + 1, Count * static_cast<size_t>(X + 1) / static_cast<size_t>(Width));
  TEnvelopePoint Column{Points[First].Min, Points[First].Max};
  for (size_t I = First + 1; I < std::min(Last, Count); ++I) {
    Column.Min = std::min(Column.Min, Points[I].Min);
    Column.Max = std::max(Column.Max, Points[I].Max);
  }
  return Column;
}

// One channel in the band from Top of Height pixels: a column of ink from the largest value to the
// smallest, none where the song is silent.
void DrawChannel(HDC Dc, const std::vector<TEnvelopePoint>& Points, int Width, int Top, int Height,
                 HBRUSH Ink) {
  const int Middle = Top + Height / 2, Half = std::max(1, Height / 2 - 1);
  for (int X = 0; X < Width && !Points.empty(); ++X) {
    TEnvelopePoint C = ColumnOf(Points, X, Width);
    if (C.Min == 0 && C.Max == 0)
      continue;
    int Upper = Middle - C.Max * Half / 32768, Lower = Middle - C.Min * Half / 32768;
    RECT Column{X, Upper, X + 1, std::max(Lower, Upper + 1)};
    ::FillRect(Dc, &Column, Ink);
  }
}

} // namespace

class TSongView::TPart : public TWindow {
public:
  TPart(HWND Parent, TSongPicture& Model, bool Strip) : FModel(Model), FIsStrip(Strip) {
    Create(L"ORVIKSongPicture", 0, WS_CHILD | WS_VISIBLE, L"", 0, 0, 0, 0, Parent);
  }

protected:
  LRESULT HandleMessage(UINT Message, WPARAM WParam, LPARAM LParam) override {
    switch (Message) {
    case WakeMessage:
      FModel.Poll();
      return 0;
    case WM_SETFONT:
      FFont = reinterpret_cast<HFONT>(WParam);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT Paint;
      HDC Dc = ::BeginPaint(Handle(), &Paint);
      Draw(Dc);
      ::EndPaint(Handle(), &Paint);
      return 0;
    }
    case WM_PRINTCLIENT:
      Draw(reinterpret_cast<HDC>(WParam));
      return 0;
    default:
      return TWindow::HandleMessage(Message, WParam, LParam);
    }
  }

private:
  void Draw(HDC Dc) {
    RECT Client;
    ::GetClientRect(Handle(), &Client);
    HGDIOBJ OldFont = ::SelectObject(Dc, FFont != nullptr ? FFont : ::GetStockObject(DEFAULT_GUI_FONT));
    ::SetBkMode(Dc, TRANSPARENT);
    if (FIsStrip)
      DrawStrip(Dc, Client);
    else
      DrawLine(Dc, Client);
    ::SelectObject(Dc, OldFont);
  }

  void DrawStrip(HDC Dc, RECT Client) {
    // Without a picture to come, the line alone says why: the strip is not drawn.
    const bool Visible =
        FModel.State() == TSongPicture::TState::Shown || FModel.State() == TSongPicture::TState::Measuring;
    ::FillRect(Dc, &Client, ::GetSysColorBrush(Visible ? COLOR_WINDOW : COLOR_BTNFACE));
    const auto& Channels = FModel.Report().Envelope;
    const int Width = static_cast<int>(Client.right), Height = static_cast<int>(Client.bottom);
    if (FModel.State() == TSongPicture::TState::Shown && !Channels.empty() && Width > 0) {
      const int Count = static_cast<int>(Channels.size());
      for (int C = 0; C < Count; ++C)
        DrawChannel(Dc, Channels[static_cast<size_t>(C)], Width, Height * C / Count, Height / Count,
                    ::GetSysColorBrush(COLOR_HIGHLIGHT));
    }
    if (Visible && FModel.Playing())
      DrawPlaying(Dc, Client);
  }

  // "Playing..." in a box of the strip's background in its middle, readable over the outline.
  void DrawPlaying(HDC Dc, RECT Client) {
    const wchar_t* Text = L"Playing...";
    SIZE Extent{};
    ::GetTextExtentPoint32W(Dc, Text, 10, &Extent);
    const LONG PadX = Extent.cy / 2, PadY = Extent.cy / 4;
    const LONG Left = (Client.right - Extent.cx) / 2 - PadX, Top = (Client.bottom - Extent.cy) / 2 - PadY;
    RECT Box{Left, Top, Left + Extent.cx + 2 * PadX, Top + Extent.cy + 2 * PadY};
    ::FillRect(Dc, &Box, ::GetSysColorBrush(COLOR_WINDOW));
    ::FrameRect(Dc, &Box, ::GetSysColorBrush(COLOR_BTNSHADOW));
    ::SetTextColor(Dc, ::GetSysColor(COLOR_WINDOWTEXT));
    ::DrawTextW(Dc, Text, -1, &Box, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  }

  void DrawLine(HDC Dc, RECT Client) {
    ::FillRect(Dc, &Client, ::GetSysColorBrush(COLOR_BTNFACE));
    const bool Shown = FModel.State() == TSongPicture::TState::Shown;
    const std::wstring Text = FModel.Text(), Peak = FModel.PeakText();
    ::SetTextColor(Dc, ::GetSysColor(COLOR_BTNTEXT));
    ::DrawTextW(Dc, Text.c_str(), -1, &Client, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    if (!Shown || Peak.empty())
      return;
    SIZE Extent{};
    const std::wstring Before = Text + L"    ";
    ::GetTextExtentPoint32W(Dc, Before.c_str(), static_cast<int>(Before.size()), &Extent);
    RECT Rest = Client;
    Rest.left += Extent.cx;
    ::SetTextColor(Dc, FModel.PeakOver() ? PeakRed : ::GetSysColor(COLOR_BTNTEXT));
    ::DrawTextW(Dc, Peak.c_str(), -1, &Rest, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
  }

  TSongPicture& FModel;
  bool FIsStrip;
  HFONT FFont = nullptr;
};

TSongView::TSongView(HWND Parent, TSongPicture& Model)
    : FModel(Model), FStrip(std::make_unique<TPart>(Parent, Model, true)),
      FLine(std::make_unique<TPart>(Parent, Model, false)) {
  // The handle, not this view: the measuring thread may wake a window that is gone, never a freed object.
  HWND Strip = FStrip->Handle();
  FModel.Attach([Strip] { ::PostMessageW(Strip, WakeMessage, 0, 0); });
  FModel.Changed = [this] {
    ::InvalidateRect(FStrip->Handle(), nullptr, FALSE);
    ::InvalidateRect(FLine->Handle(), nullptr, FALSE);
  };
}

TSongView::~TSongView() {
  FModel.Changed = nullptr;
}

HWND TSongView::Strip() const {
  return FStrip->Handle();
}

HWND TSongView::Line() const {
  return FLine->Handle();
}

void TSongView::Place(int X, int Y, int Width, int StripHeight, int LineHeight) {
  const UINT Flags = SWP_NOZORDER | SWP_NOACTIVATE;
  ::SetWindowPos(FStrip->Handle(), nullptr, X, Y, std::max(Width, 0), StripHeight, Flags);
  ::SetWindowPos(FLine->Handle(), nullptr, X, Y + StripHeight + StripHeight / 12, std::max(Width, 0),
                 LineHeight, Flags);
}

} // namespace ui
