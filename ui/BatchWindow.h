#pragma once
// The batch window: the songs of a run in a list (a batch import's file, where it goes, the title it
// replaces, its trim and fade, loudness before, gain, result; a soundtrack export's file, song and result;
// the last column stretches, and a tool tip shows a cell's whole text), the run's option (matching
// loudness, or the format), a button for the selected rows (Trim and Fade...), its progress and status,
// and Start and Cancel (Close once the run has ended). It is modal over its owner and keeps painting while
// the batch runs on a thread of its own: the run wakes it, and a timer polls the run as well.

#include "app/BatchWindow.h"
#include "app/Services.h"

#include <windows.h>

namespace ui {

inline constexpr const wchar_t* BatchWindowClass = L"TfrmBatchImport";
// Its controls; Import is IDOK and Cancel/Close IDCANCEL.
enum : int {
  IDC_BATCH_LIST = 300,
  IDC_BATCH_MATCH,
  IDC_BATCH_PROGRESS,
  IDC_BATCH_STATUS,
  IDC_BATCH_CHOICE,
  IDC_BATCH_ROWACTION
};

class TWinBatchWindow : public IBatchWindow {
public:
  void ShowModal(TBatchWindowModel& Run) override;
  HWND Owner = nullptr;
};

} // namespace ui
