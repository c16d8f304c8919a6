#pragma once
// What the window logic asks of the world: every modal dialog, the cursor and the registry go through
// these interfaces. ui/ and platform/ implement them for real; tests script them.

#include "base/Exceptions.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

enum class TMsgButtons { OK, YesNo, YesNoCancel };
enum class TMsgIcon { Question, Warning, Error };
enum class TMsgResult { OK, Yes, No, Cancel };

class IMessageBoxes {
public:
  virtual ~IMessageBoxes() = default;
  // Shows a modal message box with no owner window; an empty Caption gives the system's default title.
  virtual TMsgResult Show(const std::wstring& Text, const std::wstring& Caption, TMsgButtons Buttons,
                          TMsgIcon Icon) = 0;
};

class IInputQuery {
public:
  virtual ~IInputQuery() = default;
  // A text-input dialog with OK and Cancel. Value holds the initial text and, on OK, the entered one.
  virtual bool Query(const std::wstring& Caption, const std::wstring& Prompt, std::wstring& Value) = 0;
};

// The state a file dialog keeps from one run to the next, as the dialog actions do.
struct TFileDialogState {
  std::wstring Title;
  std::wstring Filter; // pairs of description and pattern, separated by '|'
  int FilterIndex = 1; // 1-based
  std::wstring FileName;
  std::wstring DefaultExt;
};

// What a save dialog's type-change callback can ask of the open dialog.
class IOpenSaveDialog {
public:
  virtual ~IOpenSaveDialog() = default;
  virtual int FilterIndex() const = 0;
  virtual std::wstring CurrentFolder() const = 0;   // the folder the dialog shows now
  virtual std::wstring CurrentFileName() const = 0; // the text of the file-name box
  virtual void SetFileNameBox(const std::wstring& Text) = 0;
};

struct TFolderDialogState {
  std::wstring Caption;
  std::string Folder;    // ANSI path, selected when the dialog opens, the choice after OK
  bool MayBeNew = false; // a folder that does not exist yet may be proposed and chosen (the caller makes it)
};

class IDialogs {
public:
  virtual ~IDialogs() = default;
  // Each returns true when the user confirms; State then holds the choice.
  // The open dialog confirms only the name of a file that exists, in a folder that exists.
  virtual bool ExecuteOpen(TFileDialogState& State) = 0;
  // The open dialog that takes one file or several: Files receives them, State.FileName the first.
  virtual bool ExecuteOpenMany(TFileDialogState& State, std::vector<std::wstring>& Files) = 0;
  // The save dialog asks before it confirms the name of a file that exists.
  virtual bool ExecuteSave(TFileDialogState& State,
                           const std::function<void(IOpenSaveDialog&)>& OnTypeChange) = 0;
  // Opens on State.Folder and confirms the folder chosen or typed.
  virtual bool BrowseForFolder(TFolderDialogState& State) = 0;
};

enum class TCursor { Default, HourGlass };

class IScreen {
public:
  virtual ~IScreen() = default;
  virtual TCursor Cursor() const = 0;
  virtual void SetCursor(TCursor Cursor) = 0;
};

enum class TRootKey { LocalMachine, CurrentUser };

class ERegistryException : public Exception {
public:
  using Exception::Exception;
  static ERegistryException InvalidDataType(const std::string& Name) {
    return ERegistryException("Invalid data type for '" + Name + "'");
  }
  static ERegistryException FailedToGetData(const std::string& Name) {
    return ERegistryException("Failed to get data for '" + Name + "'");
  }
};

// Read access to the registry. Errors are the registry's own texts: "Invalid data type for '%s'" for a
// value that is not a string, "Failed to get data for '%s'" for a read that fails.
class IRegistry {
public:
  virtual ~IRegistry() = default;
  // Opens Key under Root for reading, without creating it; false when it cannot be opened.
  virtual bool OpenKeyReadOnly(TRootKey Root, const std::string& Key) = 0;
  // A string value of the open key, as stored (cut at its first NUL, not expanded); a missing value reads
  // as the empty string.
  virtual std::wstring ReadString(const std::string& Name) = 0;
  virtual void CloseKey() = 0;
};

// The system's sound service: one sound, played asynchronously.
class ISoundPlayer {
public:
  virtual ~ISoundPlayer() = default;
  // Plays the Wave file at Path in a loop until Stop.
  virtual void PlayLooped(const std::string& Path) = 0;
  virtual void Stop() = 0;
};

// Runs the outside converter and waits for it.
class IConverterRunner {
public:
  virtual ~IConverterRunner() = default;
  // The command line is a double quote, Program, a double quote, one blank and Parameters. False when the
  // program could not be started. ErrorOutput receives what the program wrote to its standard error (a
  // failing converter's reason), as bytes in the ANSI code page.
  virtual bool ExecuteAndWait(const std::wstring& Program, const std::wstring& Parameters,
                              const std::wstring& WorkingFolder, uint16_t ShowMode,
                              std::string& ErrorOutput) = 0;
};

// The trim-and-fade dialog's fields: times in seconds as typed; empty: none.
struct TShapeFields {
  std::wstring Start, End, FadeOut;
  bool operator==(const TShapeFields&) const = default;
};

// The trim-and-fade dialog of the batch window: a line about the songs' lengths above three fields, OK and
// Cancel. It only collects the text; the caller checks it.
class IShapeDialog {
public:
  virtual ~IShapeDialog() = default;
  // Shows Lengths and the fields filled from Fields; true on OK, Fields then holding what was entered.
  virtual bool Execute(const std::wstring& Lengths, TShapeFields& Fields) = 0;
};

class TBatchWindowModel;

// The batch window: of a batch import, or of a soundtrack export.
class IBatchWindow {
public:
  virtual ~IBatchWindow() = default;
  // Shows Run's controls modally over the main window and calls its handlers (app/BatchWindow.h);
  // returns once the user has closed the window.
  virtual void ShowModal(TBatchWindowModel& Run) = 0;
};

class TLevelsWindow;

// The soundtrack window: every song of the definition with its loudness, and Match Loudness.
class ILevelsWindow {
public:
  virtual ~ILevelsWindow() = default;
  // Shows Window's controls modally over the main window and calls its handlers (app/LevelsWindow.h);
  // returns once the user has closed the window.
  virtual void ShowModal(TLevelsWindow& Window) = 0;
};

class IConverterProcess;

// The services one window uses; none is owned.
struct TServices {
  IMessageBoxes* MessageBoxes = nullptr;
  IInputQuery* InputQuery = nullptr;
  IDialogs* Dialogs = nullptr;
  IScreen* Screen = nullptr;
  IRegistry* Registry = nullptr;
  ISoundPlayer* Sound = nullptr;
  IConverterRunner* Converter = nullptr;
  IBatchWindow* BatchWindow = nullptr;
  ILevelsWindow* LevelsWindow = nullptr;
  IShapeDialog* ShapeDialog = nullptr; // none: songs are imported as they are
  // The converter as a batch runs it, several at once; nullptr: the one below ProgramFolder.
  IConverterProcess* ConverterProcess = nullptr;
  // The folder of the program's executable, with its trailing delimiter; the converter lies below it.
  std::string ProgramFolder;
};
