#pragma once
// The batch window: the songs of a batch import in a list (file, where it goes, the title it replaces,
// loudness before, gain, result; the last column stretches, and a tool tip shows a cell's whole text), the
// choice to match loudness, the batch's progress and status, and Import and Cancel (Close once the batch has
// ended). It is modal over its owner and keeps painting while the batch runs on a thread of its own: the run
// wakes it, and a timer polls the run as well.

#include "app/BatchWindow.h"
#include "app/Services.h"

#include <windows.h>

namespace ui {

inline constexpr const wchar_t* BatchWindowClass = L"TfrmBatchImport";
// Its controls; Import is IDOK and Cancel/Close IDCANCEL.
enum : int { IDC_BATCH_LIST = 300, IDC_BATCH_MATCH, IDC_BATCH_PROGRESS, IDC_BATCH_STATUS };

class TWinBatchWindow : public IBatchWindow {
public:
  void ShowModal(TBatchRun& Run) override;
  HWND Owner = nullptr;
};

} // namespace ui
