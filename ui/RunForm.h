#pragma once
// The base of the modal windows that show a run on a thread of its own: they take the owner's DPI and the
// message font, make their controls in that font, poll the run on each wake it posts (one waiting at a
// time) and on a timer, and lay their controls out anew as their size changes.

#include "ui/Window.h"

#include <atomic>
#include <functional>

namespace ui {

class TRunForm : public TWindow {
public:
  bool Closed() const { return FClosed; }

protected:
  // MinWidth and MinHeight: the smallest the window may be made, at 96 DPI.
  TRunForm(HWND Owner, int MinWidth, int MinHeight);
  ~TRunForm() override;

  // Once the window and its controls are made: lays them out, starts the poll timer and shows the window,
  // the focus on Focus.
  void Start(HWND Focus);
  // The run's wake: callable from any thread.
  std::function<void()> Waker();
  int S(int Length) const;
  HWND Add(const wchar_t* Class, const wchar_t* Text, DWORD Style, int Id, DWORD ExStyle = 0);
  // Wakes, the poll timer, size changes and the smallest size; the rest goes to the window's default.
  LRESULT HandleMessage(UINT Message, WPARAM WParam, LPARAM LParam) override;
  virtual void Poll() = 0;
  virtual void LayOut() = 0;

  const UINT FDpi;
  const HFONT FFont;
  bool FClosed = false;

private:
  const int FMinWidth, FMinHeight;
  std::atomic<bool> FWakePosted{false};
};

} // namespace ui
