#pragma once
// The selected song's picture in the details panel (app/SongPicture.h): a strip that draws the song's
// outline, each channel in a band of its own, and a line of text under it, the peak in red when it is too
// high. Both paint from the model; the model's measuring thread wakes the window's thread by a message
// posted to the strip, whose handler polls the model.

#include "app/SongPicture.h"
#include "ui/Window.h"

#include <memory>

namespace ui {

class TSongView {
public:
  TSongView(HWND Parent, TSongPicture& Model);
  ~TSongView();
  TSongView(const TSongView&) = delete;
  TSongView& operator=(const TSongView&) = delete;

  HWND Strip() const;
  HWND Line() const;
  // Places the strip at X, Y and the line under it.
  void Place(int X, int Y, int Width, int StripHeight, int LineHeight);

private:
  class TPart;
  TSongPicture& FModel;
  std::unique_ptr<TPart> FStrip, FLine;
};

} // namespace ui
