#pragma once
// The main window's logic: the editing state of one open definition, the controls that show it (as
// models, see app/Controls.h), and the handlers the window's events call. Everything modal or OS-bound
// goes through the services (app/Services.h), so every workflow runs headless.
//
// Handlers do not catch errors: they reach the application's error report (app/ErrorReport.h).

#include "app/BatchWindow.h"
#include "app/Controls.h"
#include "app/Services.h"
#include "app/SongPicture.h"
#include "definitions/DefinitionSession.h"
#include "definitions/EditHistory.h"
#include "definitions/Preload.h"
#include "definitions/uTypes.h"
#include "workflows/SongFiles.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

class TfrmORVStreams {
public:
  // Creates the window's state: no definition open, details hidden.
  explicit TfrmORVStreams(const TServices& Services);
  ~TfrmORVStreams();
  TfrmORVStreams(const TfrmORVStreams&) = delete;
  TfrmORVStreams& operator=(const TfrmORVStreams&) = delete;

  // ---- controls ----
  TTreeModel treeFiles;
  TVisibility pnlDetails{false};
  TVisibility grpDescription{false};
  TComboModel cmbDescriptions{L"Sample Description|Select the description assigned to this sample"};
  TComboModel cmbStreams;
  TComboModel cmbFiles{L"Sample File|Select the file in the archive assigned to this sample"};
  TLabelModel lblDescriptions{L"Descriptions", cmbDescriptions.Hint};
  TLabelModel lblSinger{L"Singer", L""};
  TLabelModel lblAlbum{L"Album", L""};
  TLabelModel lblName{L"Name", L""};
  TLabelModel lblStreams{L"Archives", L""};
  TLabelModel lblFiles{L"Sample File", cmbFiles.Hint};
  TEditModel edtSinger{63};
  TEditModel edtAlbum{63};
  TEditModel edtName{63};
  TStatusModel StatusBar;
  // The share of archive bytes copied while a save or a preload update rebuilds archives.
  TProgressModel StatusProgress;
  TButtonModel btnDescrAdd{L"Add...", L"Add description|Add a new description to the definition file"};
  TButtonModel btnDescRemove{L"Remove", L"Remove description|Deelete the selected description"};
  TButtonModel btnAddFile{L"Add...", L"Add file|Add a new file to the selected archive"};
  TButtonModel btnRemoveFile{L"Remove", L"Remove the selected file from the archive"};
  // The selected song's strip and line.
  TSongPicture picSong{[this]() -> IConverterProcess& { return ConverterProcess(); }};

  // ---- actions ----
  TActionModel actFileOpen{L"&Open...", 0, L"Open|Open a stream definition file", L"Ctrl+O"};
  TActionModel actFileSave{
      L"Save", 6, L"Save|Save changes to the definition file and rebuild the dependent archives", L"Ctrl+S"};
  TActionModel actFileUpdatePreload{L"Update Preload Directory...", -1, L""};
  TActionModel actFileRestoreOriginal{L"Restore Original Music...", -1,
                                      L"Restore original music|Put the game's original music back"};
  TActionModel actFileExportPack{
      L"Export Soundtrack Pack...", -1,
      L"Export soundtrack pack|Save the songs and descriptions you changed in one file"};
  TActionModel actFileExportSoundtrack{
      L"Export Soundtrack...", -1,
      L"Export soundtrack|Write every song of the definition, titled, with a playlist per stream"};
  TActionModel actFileApplyPack{
      L"Apply Soundtrack Pack...", -1,
      L"Apply soundtrack pack|Put the songs and descriptions of a soundtrack pack in"};
  TActionModel actFileExit{L"E&xit", 1, L"Exit|Quit the application"};
  TActionModel actEditUndo{L"Undo", 13, L"Undo|Take back the last change", L"Ctrl+Z"};
  TActionModel actEditRedo{L"Redo", 14, L"Redo|Make the last change taken back again", L"Ctrl+Y"};
  TActionModel actViewSoundtrack{
      L"Soundtrack...", -1,
      L"Soundtrack|Every song of the definition with its length, loudness and peak; match their loudness"};
  TActionModel actSamplePreview{L"Preview", 4, L"Preview/Stop|Preview (stop) the selected sample"};
  TActionModel actSampleImport{L"Import...", 3, L"Import|Import a new file in place of the selected one"};
  TActionModel actSampleExport{L"Export...", 2, L"Export|Save the selected sample"};
  TActionModel actStreamAddSample{L"Add Sample", 8, L"Add sample|Add a new sample to the selected stream"};
  TActionModel actStreamDeleteSample{L"Delete Sample", 7,
                                     L"Delete Sample|Delete the selected sample from the stream"};
  TActionModel actStreamImportSongs{L"Import Songs...", -1,
                                    L"Import songs|Add songs at the end of the selected stream"};
  TActionModel actHelpContents{L"&Contents", 9, L"Help Contents|isplay the help file"};
  TActionModel actHelpWhatsThis{L"What's This?", 11, L""};
  TActionModel actHelpAbout{L"&About...", 12, L""};

  // The dialogs of the dialog actions, which keep their state between runs. The open definition's path is
  // the file name of actFileOpen's dialog.
  TFileDialogState actFileOpenDialog;
  TFolderDialogState actFileUpdatePreloadDialog;
  TFileDialogState actSampleImportDialog;
  TFileDialogState actSampleExportDialog;
  TFileDialogState actFileExportPackDialog;
  TFileDialogState actFileApplyPackDialog;
  TFolderDialogState actFileExportSoundtrackDialog;

  // ---- window events ----
  void TntFormCreate();
  // True when the window may close.
  bool TntFormCloseQuery();
  void ApplicationEventsIdle();
  void ApplicationEventsHint(const std::wstring& Hint);

  // ---- definition ----
  // Runs the open dialog; on confirmation, actFileOpenAccept.
  void actFileOpenExecute();
  void actFileOpenAccept();
  // Asks to save changes (Yes/No/Cancel), stops the preview, frees the definition. False when cancelled.
  bool CloseDefinition();
  void RebuildTree();
  void treeFilesChange(TTreeNode* Node);
  void FillDescriptions();
  void FillArchives();
  void FillFiles(int ArchiveIndex);

  // ---- details ----
  void edtSingerChange();
  void edtAlbumChange();
  void edtNameChange();
  void cmbDescriptionsChange();
  void btnDescrAddClick();
  void btnDescRemoveClick();
  void cmbStreamsChange();
  void cmbFilesChange();
  void btnRemoveFileClick();

  // The focus left a description field: typing into it again is a step of its own.
  void edtDescriptionExit();

  // ---- undo ----
  // Takes back, or makes again, the last change since the definition was opened or saved, and shows
  // where it happened.
  void actEditUndoExecute();
  void actEditRedoExecute();
  const TEditHistory& History() const { return FHistory; }

  // ---- samples ----
  void actStreamAddSampleExecute();
  void actStreamDeleteSampleExecute();

  // ---- preview, export, import ----
  bool PreviewPlaying() const;
  void actSamplePreviewExecute();
  void StopPreview();
  // Runs the export dialog: before it opens, actSampleExportBeforeExecute; on a filter change,
  // actSampleExportTypeChange; on confirmation, actSampleExportAccept.
  void actSampleExportExecute();
  void actSampleExportBeforeExecute();
  void actSampleExportTypeChange(IOpenSaveDialog& Dialog);
  void actSampleExportAccept();
  // Runs the import dialog, which takes several files: one goes to actSampleImportAccept with the action
  // as sender, several to ImportSongs.
  void actSampleImportExecute();
  // Runs the import dialog and adds the chosen files at the end of the selected stream (a stream or an
  // archive node): into the selected archive, or the archive of the stream's last sample.
  void actStreamImportSongsExecute();
  // A batch import of Files into the stream of Node, in the batch window: from a sample on, its songs
  // replaced and songs beyond the stream's end added to the sample's archive; from a stream, its songs from
  // the first on (an empty stream's to the definition's first archive), or with Append each file a new
  // sample at its end, in the archive of its last sample; from an archive, each file a new sample of the
  // stream in that archive. Files are taken in natural order of their names. Afterwards the first
  // imported sample is selected.
  void ImportSongs(TTreeNode* Node, const std::vector<std::wstring>& Files, bool Append = false);
  // Files and folders dropped on Node: a folder gives the audio files in it. One file dropped on a sample is
  // imported into it as the Import action does; more go to ImportSongs.
  void treeFilesDropFiles(TTreeNode* Node, const std::vector<std::wstring>& Paths);
  // Imports the import dialog's file into the selected sample: in place of its data when Sender is
  // &actSampleImport, as a new file of its archive otherwise (btnAddFile).
  void actSampleImportAccept(const void* Sender);
  void btnAddFileClick();

  // ---- save and preload ----
  void actFileSaveExecute();
  // Proposes the folder, runs the folder dialog and, on confirmation, actFileUpdatePreloadAccept.
  void actFileUpdatePreloadExecute();
  // Proposes the preload folder of the open definition's own game when it lies in one laid out as the game
  // installs itself (DefaultPreloadFolder exists), else the registered game's.
  void actFileUpdatePreloadBeforeExecute();
  void actFileUpdatePreloadAccept();

  // ---- the original music and soundtrack packs ----
  // Before every change to the game's files. Refuses a change to a kept copy of the original music (raises
  // msg::KeptDefinitionRefused). A damaged kept copy is set aside, and the user told so once; otherwise,
  // unless the original music is kept or the user declined, asks to keep it (Yes/No, with its size) and
  // keeps it, or remembers the No.
  void KeepOriginalMusic();
  // Opens a definition in a kept originals folder for reading only, saying so once.
  void OpenKeptCopy(const std::string& Path);
  bool ReadOnly() const { return FReadOnly; }
  // Asks, discards unsaved changes, puts every kept file back and opens the definition again.
  void actFileRestoreOriginalExecute();
  // A pack of the samples that differ from the kept original music (every sample without it).
  void actFileExportPackExecute();
  // Shows what a pack changes and, on Yes, applies it as unsaved changes.
  void actFileApplyPackExecute();
  void actFileExportSoundtrackExecute();
  // The soundtrack window over the open definition (app/LevelsWindow.h); each Match Loudness in it is one
  // step of the edit history.
  void actViewSoundtrackExecute();

  // ---- editing state ----
  TStreamPack* Pack() const { return FPack.get(); }
  bool DefinitionChanged() const { return FDefinitionChanged; }
  bool ArchivesChanged() const { return FArchivesChanged; }
  // The selected sample: the data of the selected node at level 2, or nullptr.
  TStreamData* SelectedSample() const;
  // The path of the open definition file, in the ANSI code page.
  std::string DefinitionPath() const;

private:
  // One step of the edit history: what the handler it lives in changes (see TEditHistory::Begin).
  class TEditStep {
  public:
    TEditStep(TfrmORVStreams& Form, std::wstring Caption, std::string MergeKey = {});
    ~TEditStep();
    TEditStep(const TEditStep&) = delete;
    TEditStep& operator=(const TEditStep&) = delete;

  private:
    TfrmORVStreams& FForm;
    bool FBegun = false;
  };
  TStepPlace SelectedPlace() const;
  void ShowPlace(const TStepPlace& Place);
  void ShowStepOutcome(const TStepOutcome& Outcome);
  void MoveInHistory(bool Forward);
  // Forgets the history: a save, a close or an open ends it.
  void EndHistory();
  void BindControls();
  void ClearControls();
  // Adds the nodes of every stream; returns the node whose data is Selected (the last one), or nullptr.
  TTreeNode* FillTree(void* Selected);
  // Selects the tree's node of Sample, if it has one.
  void SelectSample(const TStreamData* Sample);
  void ShowSampleDetails(TStreamData* Sample);
  void StoreDescriptionField(TDescriptionField TStreamDescription::*Field, const wchar_t* FieldName,
                             const TEditModel& Edit, bool Refill);
  TEAMusicStream* StreamOfSelectedNode() const;
  void SaveArchivesAndDefinition();
  // Tells what recovery did at open; offers to do the imports it undid again, as unsaved changes.
  void ReportRecovery(TRecoveryReport& Report);
  void ImportAgain(const std::vector<TImportRecord>& Imports);
  void ReportPreloadOutcome(const TPreloadOutcome& Outcome);
  std::wstring ConverterPath() const;
  std::wstring ConverterFolder() const;
  // Runs one song operation of the workflows with the window's converter runner, the status bar telling
  // its steps (and cleared after, on every path).
  TConversion RunSongStep(const std::function<TConversion(TConverter&, const TSongFileSteps&)>& Step);
  // Source is the file the user picked; EntryName the new entry's name for an add.
  void ImportConverted(TStreamData* Sample, const std::string& Converted, bool AsNewFile,
                       const std::string& EntryName, const std::string& Source,
                       const TImportDescription& Description = {});
  // The converter that batches and packs run: the services' one, else sx below the program's folder.
  IConverterProcess& ConverterProcess();

  TServices FServices;
  std::unique_ptr<TStreamPack> FPack;
  std::string FPreviewFile;
  std::string FDefinitionPath;
  bool FDefinitionChanged = false;
  bool FArchivesChanged = false;
  bool FUpdatingDetails = false;
  // The open definition's lock and journal.
  std::unique_ptr<TDefinitionSession> FSession;
  TLoudnessTarget FLoudness;
  std::unique_ptr<IConverterProcess> FOwnConverterProcess; // made at the first use without the services' one
  bool FOriginalKept = false;                              // the open definition's original music is kept
  // The hint that the status bar shows, and the message it covers.
  std::optional<std::wstring> FHintShown;
  std::wstring FUnderHint;
  bool FReadOnly = false;      // the open definition is a kept copy of the original music: nothing writes it
  std::wstring FPendingStatus; // shown by the next idle step, after the handler that set it
  TEditHistory FHistory;
  bool FToldSaveEndsHistory = false; // the status bar said once that a save ends the history
};
