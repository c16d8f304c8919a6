#include "ui/WinServices.h"
#include "platform/Process.h"

namespace ui {

namespace {

UINT ButtonsFlag(TMsgButtons Buttons) {
  switch (Buttons) {
  case TMsgButtons::YesNo:
    return MB_YESNO;
  case TMsgButtons::YesNoCancel:
    return MB_YESNOCANCEL;
  default:
    return MB_OK;
  }
}

UINT IconFlag(TMsgIcon Icon) {
  switch (Icon) {
  case TMsgIcon::Question:
    return MB_ICONQUESTION;
  case TMsgIcon::Warning:
    return MB_ICONWARNING;
  default:
    return MB_ICONERROR;
  }
}

TMsgResult ResultOf(int Pressed) {
  switch (Pressed) {
  case IDYES:
    return TMsgResult::Yes;
  case IDNO:
    return TMsgResult::No;
  case IDCANCEL:
    return TMsgResult::Cancel;
  default:
    return TMsgResult::OK;
  }
}

} // namespace

TMsgResult TWinMessageBoxes::Show(const std::wstring& Text, const std::wstring& Caption, TMsgButtons Buttons,
                                  TMsgIcon Icon) {
  // A null caption gives the system's default title.
  const wchar_t* Title = Caption.empty() ? nullptr : Caption.c_str();
  return ResultOf(
      ::MessageBoxW(nullptr, Text.c_str(), Title, ButtonsFlag(Buttons) | IconFlag(Icon) | MB_TASKMODAL));
}

void TWinScreen::SetCursor(TCursor Cursor) {
  FCursor = Cursor;
  ::SetCursor(::LoadCursorW(nullptr, Cursor == TCursor::HourGlass ? IDC_WAIT : IDC_ARROW));
}

TServices TWinServices::Services() {
  TServices Result;
  Result.MessageBoxes = &MessageBoxes;
  Result.InputQuery = &InputQuery;
  Result.Dialogs = &Dialogs;
  Result.Screen = &Screen;
  Result.Registry = &Registry;
  Result.Sound = &Sound;
  Result.Converter = &Converter;
  Result.BatchWindow = &BatchWindow;
  Result.LevelsWindow = &LevelsWindow;
  Result.ShapeDialog = &ShapeDialog;
  Result.ProgramFolder = platform::ProgramFolder();
  return Result;
}

void TWinServices::SetMainWindow(HWND Window) {
  InputQuery.Owner = Window;
  Dialogs.Owner = Window;
  BatchWindow.Owner = Window;
  LevelsWindow.Owner = Window;
}

} // namespace ui
