#pragma once
// The real services of the window logic (app/Services.h) on Win32: message boxes, the input query, the
// file and folder dialogs, the screen cursor, and, from app/ and ui/, the registry, the sound and the
// converter runner. One object holds them all for the program's lifetime.

#include "app/Services.h"
#include "app/SystemRegistry.h"
#include "app/SystemServices.h"
#include "ui/BatchWindow.h"
#include "ui/LevelsWindow.h"
#include "ui/PaintingConverterRunner.h"

#include <windows.h>

namespace ui {

// MessageBoxW with no owner window; task-modal, so the program's windows take no input meanwhile.
class TWinMessageBoxes : public IMessageBoxes {
public:
  TMsgResult Show(const std::wstring& Text, const std::wstring& Caption, TMsgButtons Buttons,
                  TMsgIcon Icon) override;
};

class TWinInputQuery : public IInputQuery {
public:
  bool Query(const std::wstring& Caption, const std::wstring& Prompt, std::wstring& Value) override;
  HWND Owner = nullptr;
};

// The trim-and-fade dialog, over the active window.
class TWinShapeDialog : public IShapeDialog {
public:
  bool Execute(const std::wstring& Lengths, TShapeFields& Fields) override;
};

class TWinDialogs : public IDialogs {
public:
  bool ExecuteOpen(TFileDialogState& State) override;
  bool ExecuteOpenMany(TFileDialogState& State, std::vector<std::wstring>& Files) override;
  bool ExecuteSave(TFileDialogState& State,
                   const std::function<void(IOpenSaveDialog&)>& OnTypeChange) override;
  bool BrowseForFolder(TFolderDialogState& State) override;
  HWND Owner = nullptr;
};

// The screen cursor: the hourglass shows over the program's windows while it is set.
class TWinScreen : public IScreen {
public:
  TCursor Cursor() const override { return FCursor; }
  void SetCursor(TCursor Cursor) override;

private:
  TCursor FCursor = TCursor::Default;
};

struct TWinServices {
  TWinMessageBoxes MessageBoxes;
  TWinInputQuery InputQuery;
  TWinDialogs Dialogs;
  TWinScreen Screen;
  TSystemRegistry Registry;
  TSystemSound Sound;
  TPaintingConverterRunner Converter;
  TWinBatchWindow BatchWindow;
  TWinLevelsWindow LevelsWindow;
  TWinShapeDialog ShapeDialog;

  TServices Services();
  // The main window, owner of the dialogs.
  void SetMainWindow(HWND Window);
};

} // namespace ui
