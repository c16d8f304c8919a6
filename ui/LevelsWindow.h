#pragma once
// The soundtrack window: every song of the definition in a list sorted by a click on a column's header
// (again: the other way round), with a bar that shows each song's loudness against the median and its
// true peak in red past -1 dBTP; above it the target of Match Loudness, below it the run's progress and
// status and Close (Cancel while a run goes on). A double-click on a song selects its sample in the main
// window. It is modal over its owner and keeps painting while a run goes on a thread of its own: the run
// wakes it, and a timer polls the run as well.

#include "app/LevelsWindow.h"
#include "app/Services.h"

#include <windows.h>

namespace ui {

inline constexpr const wchar_t* LevelsWindowClass = L"TfrmSoundtrack";
// Its controls; Close is IDCANCEL.
enum : int {
  IDC_LEVELS_LIST = 400,
  IDC_LEVELS_TARGET,
  IDC_LEVELS_VALUE,
  IDC_LEVELS_MATCH,
  IDC_LEVELS_MEASURE,
  IDC_LEVELS_PROGRESS,
  IDC_LEVELS_STATUS
};

class TWinLevelsWindow : public ILevelsWindow {
public:
  void ShowModal(TLevelsWindow& Window) override;
  HWND Owner = nullptr;
};

} // namespace ui
