#pragma once
// The main window TfrmORVStreams as the user sees it: the real controls, menu bar, tool bar and status
// bar, each bound to the window logic's models (app/uMain.h), and the logic's handlers run from the
// controls' events.

#include "app/uMain.h"
#include "ui/ActionList.h"
#include "ui/ComboBinding.h"
#include "ui/EditBinding.h"
#include "ui/Hints.h"
#include "ui/Panel.h"
#include "ui/SongView.h"
#include "ui/Splitter.h"
#include "ui/TreeBinding.h"
#include "ui/Window.h"

#include <windows.h>

#include <commctrl.h>
#include <functional>
#include <memory>
#include <shellapi.h>
#include <vector>

namespace ui {

// The window's controls, by their names in the logic.
struct TMainControls {
  HWND tbrStrandard, treeFiles, StatusBar, StatusProgress;
  HWND pnlDetails, lblDescriptions, cmbDescriptions, btnDescrAdd, btnDescRemove;
  HWND grpDescription, grpDescriptionFrame, lblSinger, edtSinger, lblAlbum, edtAlbum, lblName, edtName;
  HWND lblStreams, cmbStreams, grpStream, grpStreamFrame, lblFiles, cmbFiles, btnAddFile, btnRemoveFile;
  HWND picSong, lblSong; // the selected song's strip and line
};

class TMainWindow : public TWindow {
public:
  // Creates the window, hidden, over the logic's window with Services.
  explicit TMainWindow(const TServices& Services);
  ~TMainWindow() override;

  TfrmORVStreams& Form() { return *FForm; }
  const TMainControls& Controls() const { return FControls; }
  const TActionList& Actions() const { return FActions; }
  const THints& Hints() const { return *FHints; }
  // The help file of the help system: the program's own path with the extension ".chm".
  const std::wstring& HelpFile() const { return FHelpFile; }

  // What the message loop does with a message before dispatching it (hints, shortcuts, Tab between
  // controls); true when the message needs no dispatch.
  bool PreTranslate(MSG& Message);
  bool UndoKey(const MSG& Message);
  // The application's idle step.
  void Idle();
  void actHelpAboutExecute();

  // Runs when the window has been destroyed (the program posts its quit message).
  std::function<void()> OnDestroyed;

protected:
  LRESULT HandleMessage(UINT Message, WPARAM WParam, LPARAM LParam) override;

private:
  HWND AddControl(HWND Parent, const wchar_t* Class, const wchar_t* Text, DWORD Style, DWORD ExStyle = 0);
  HWND AddButton(HWND Parent, const TButtonModel& Button, void (TfrmORVStreams::*Click)());
  HWND AddLabel(HWND Parent, const TLabelModel& Label);
  void CreateControls();
  void CreateDetails();
  void CreateToolBar();
  void BindModels();
  void BindActions();
  void SetDpi(UINT Dpi);
  void LayOut();
  void LayOutDetails(int Width);
  bool OnCommand(WPARAM WParam, LPARAM LParam);
  LRESULT OnNotify(NMHDR& Header);
  void OnMenuSelect(WPARAM WParam, LPARAM LParam);
  void OnDropFiles(HDROP Drop);
  int S(int Length) const;

  TServices FServices;
  std::unique_ptr<TfrmORVStreams> FForm;
  TMainControls FControls{};
  std::unique_ptr<TPanel> FDetails, FDescriptionGroup, FStreamGroup;
  std::unique_ptr<TSplitter> FSplitter;
  std::unique_ptr<TSongView> FSong;
  std::unique_ptr<THints> FHints;
  std::unique_ptr<TTreeBinding> FTree;
  std::vector<std::unique_ptr<TComboBinding>> FCombos;
  std::vector<std::unique_ptr<TEditBinding>> FEdits;
  std::vector<std::pair<HWND, void (TfrmORVStreams::*)()>> FButtons;
  TActionList FActions;
  HACCEL FAccelerators = nullptr;
  HWND FFocused = nullptr;
  HFONT FFont = nullptr;
  HIMAGELIST FImages = nullptr;
  UINT FDpi = 96;
  int FTreeWidth = 260; // at 96 DPI
  std::wstring FHelpFile;
  std::wstring FToolTipText;
  bool FClosing = false;
};

} // namespace ui
