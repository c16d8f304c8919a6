#pragma once
// Runs the converter and waits for it while the window keeps painting: the wait wakes for the queue, and
// only paint and timer messages are dispatched, so no handler runs again meanwhile; the user's input of
// that time is dropped.

#include "app/Services.h"

#include <windows.h>

namespace ui {

class TPaintingConverterRunner : public IConverterRunner {
public:
  bool ExecuteAndWait(const std::wstring& Program, const std::wstring& Parameters,
                      const std::wstring& WorkingFolder, uint16_t ShowMode,
                      std::string& ErrorOutput) override;
};

// Dispatches the pending WM_PAINT and WM_TIMER messages and drops pending input: long work on the
// window's thread calls it between steps, so that the window keeps painting and takes no input.
void PaintPending();

} // namespace ui
