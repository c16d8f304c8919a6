#pragma once
// Scripted doubles of the window's services: each records what was asked and answers from a script.

#include "app/Services.h"

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

struct TShownMessage {
  std::wstring Text, Caption;
  TMsgButtons Buttons;
  TMsgIcon Icon;
};

class TScriptedMessageBoxes : public IMessageBoxes {
public:
  TMsgResult Show(const std::wstring& Text, const std::wstring& Caption, TMsgButtons Buttons,
                  TMsgIcon Icon) override {
    Shown.push_back({Text, Caption, Buttons, Icon});
    if (OnShow)
      OnShow();
    // A message with only OK asks nothing: it takes no scripted answer.
    if (Buttons == TMsgButtons::OK)
      return TMsgResult::OK;
    if (Answers.empty())
      throw std::logic_error("unexpected question");
    TMsgResult Answer = Answers.front();
    Answers.pop_front();
    return Answer;
  }
  std::deque<TMsgResult> Answers;
  std::vector<TShownMessage> Shown;
  // Runs while each message shows, to look at the window behind it.
  std::function<void()> OnShow;
};

class TScriptedInputQuery : public IInputQuery {
public:
  bool Query(const std::wstring& Caption, const std::wstring& Prompt, std::wstring& Value) override {
    Asked.push_back(Caption + L"|" + Prompt + L"|" + Value);
    if (!Accept)
      return false;
    if (Entered.has_value())
      Value = *Entered;
    return true;
  }
  bool Accept = true;
  std::optional<std::wstring> Entered;
  std::vector<std::wstring> Asked;
};

// Answers each showing with the next scripted fields; Cancel once they run out.
class TScriptedShapeDialog : public IShapeDialog {
public:
  bool Execute(const std::wstring& Lengths, TShapeFields& Fields) override {
    Shown.push_back({Lengths, Fields});
    if (Answers.empty())
      return false;
    Fields = Answers.front();
    Answers.pop_front();
    return true;
  }
  std::deque<TShapeFields> Answers;
  std::vector<std::pair<std::wstring, TShapeFields>> Shown; // the lengths line and the fields as filled
};

class TScriptedDialogs : public IDialogs {
public:
  bool ExecuteOpen(TFileDialogState& State) override {
    OpenSeen.push_back(State);
    if (OpenAnswers.empty())
      return false;
    State.FileName = OpenAnswers.front();
    OpenAnswers.pop_front();
    return true;
  }
  // Confirms the next scripted list of files, the first as the dialog's file name; without one, a single
  // file as ExecuteOpen does.
  bool ExecuteOpenMany(TFileDialogState& State, std::vector<std::wstring>& Files) override {
    if (OpenManyAnswers.empty()) {
      bool Confirmed = ExecuteOpen(State);
      Files.assign(Confirmed ? 1 : 0, State.FileName);
      return Confirmed;
    }
    OpenSeen.push_back(State);
    Files = OpenManyAnswers.front();
    OpenManyAnswers.pop_front();
    State.FileName = Files.empty() ? L"" : Files.front();
    return !Files.empty();
  }
  std::deque<std::vector<std::wstring>> OpenManyAnswers;
  // Plays the scripted filter changes, then confirms SaveAnswer (name, filter index) if there is one.
  bool ExecuteSave(TFileDialogState& State,
                   const std::function<void(IOpenSaveDialog&)>& OnTypeChange) override;
  bool BrowseForFolder(TFolderDialogState& State) override {
    FolderSeen.push_back(State);
    if (!FolderAnswer.has_value())
      return false;
    State.Folder = *FolderAnswer;
    return true;
  }
  struct TTypeChange : IOpenSaveDialog {
    std::wstring Folder, Name;
    int Index = 1;
    std::wstring Box;
    int FilterIndex() const override { return Index; }
    std::wstring CurrentFolder() const override { return Folder; }
    std::wstring CurrentFileName() const override { return Name; }
    void SetFileNameBox(const std::wstring& Text) override { Box = Text; }
  };
  std::vector<TTypeChange> TypeChanges;
  std::optional<std::pair<std::wstring, int>> SaveAnswer;
  std::deque<std::wstring> OpenAnswers;
  std::vector<TFileDialogState> OpenSeen, SaveSeen;
  std::optional<std::string> FolderAnswer;
  std::vector<TFolderDialogState> FolderSeen;
};

class TScriptedScreen : public IScreen {
public:
  TCursor Cursor() const override { return FCursor; }
  void SetCursor(TCursor Cursor) override {
    FCursor = Cursor;
    History.push_back(Cursor);
  }
  std::vector<TCursor> History;

private:
  TCursor FCursor = TCursor::Default;
};

// A registry of keys, each with values of a type: 's' string, 'd' number, 'f' failing read.
class TScriptedRegistry : public IRegistry {
public:
  struct Value {
    char Type;
    std::wstring Text;
  };
  bool OpenKeyReadOnly(TRootKey Root, const std::string& Key) override {
    OpenedKeys.push_back(Key);
    auto Found = Keys.find(Key);
    if (Root != TRootKey::LocalMachine || Found == Keys.end())
      return false;
    FOpen = &Found->second;
    ++OpenCount;
    return true;
  }
  std::wstring ReadString(const std::string& Name) override;
  void CloseKey() override {
    if (FOpen != nullptr)
      --OpenCount;
    FOpen = nullptr;
  }
  std::map<std::string, std::map<std::string, Value>> Keys;
  std::vector<std::string> OpenedKeys;
  int OpenCount = 0;

private:
  std::map<std::string, Value>* FOpen = nullptr;
};

inline std::wstring TScriptedRegistry::ReadString(const std::string& Name) {
  auto Found = FOpen->find(Name);
  if (Found == FOpen->end())
    return L"";
  if (Found->second.Type == 'd')
    throw ERegistryException::InvalidDataType(Name);
  if (Found->second.Type == 'f')
    throw ERegistryException::FailedToGetData(Name);
  return Found->second.Text;
}

class TScriptedSound : public ISoundPlayer {
public:
  void PlayLooped(const std::string& Path) override {
    Playing = Path;
    Played.push_back(Path);
  }
  void Stop() override {
    Playing.clear();
    ++Stops;
  }
  std::string Playing;
  std::vector<std::string> Played;
  int Stops = 0;
};

// Records every run of the converter and passes it on to a real runner, if there is one.
class TRecordingRunner : public IConverterRunner {
public:
  struct TRun {
    std::wstring Program, Parameters, Folder;
    uint16_t ShowMode;
  };
  explicit TRecordingRunner(IConverterRunner* Real) : FReal(Real) {}
  bool ExecuteAndWait(const std::wstring& Program, const std::wstring& Parameters, const std::wstring& Folder,
                      uint16_t ShowMode, std::string& ErrorOutput) override {
    Runs.push_back({Program, Parameters, Folder, ShowMode});
    return FReal != nullptr && FReal->ExecuteAndWait(Program, Parameters, Folder, ShowMode, ErrorOutput);
  }
  std::vector<TRun> Runs;

private:
  IConverterRunner* FReal;
};

inline bool TScriptedDialogs::ExecuteSave(TFileDialogState& State,
                                          const std::function<void(IOpenSaveDialog&)>& OnTypeChange) {
  SaveSeen.push_back(State);
  for (TTypeChange& Change : TypeChanges)
    OnTypeChange(Change);
  if (!SaveAnswer.has_value())
    return false;
  State.FileName = SaveAnswer->first;
  State.FilterIndex = SaveAnswer->second;
  return true;
}
