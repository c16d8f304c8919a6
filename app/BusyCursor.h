#pragma once
// The hourglass while a workflow runs (the window takes no input meanwhile); the cursor that was there
// comes back when the workflow ends or fails, or earlier, before a message.

#include "app/Services.h"

class TBusyCursor {
public:
  explicit TBusyCursor(IScreen& Screen) : FScreen(Screen), FSaved(Screen.Cursor()) {
    FScreen.SetCursor(TCursor::HourGlass);
  }
  ~TBusyCursor() { Restore(); }
  TBusyCursor(const TBusyCursor&) = delete;
  TBusyCursor& operator=(const TBusyCursor&) = delete;
  void Restore() {
    if (!FRestored)
      FScreen.SetCursor(FSaved);
    FRestored = true;
  }

private:
  IScreen& FScreen;
  TCursor FSaved;
  bool FRestored = false;
};
