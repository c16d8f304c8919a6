// Save (archive rebuild and definition file) and the preload update of the main window.

#include "app/Messages.h"
#include "app/uMain.h"
#include "base/Exceptions.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "definitions/Preload.h"
#include "platform/FileSystem.h"

#include <vector>

namespace {

const char* const kGameKey = "SOFTWARE\\EA SPORTS\\ORVIK";
const char* const kInstallDirValue = "Install Dir";

// The paths, each on a line of its own.
std::string FileList(const std::vector<std::string>& Paths) {
  std::string List;
  for (const std::string& Path : Paths)
    List += std::string(platform::LineBreak()) + Path;
  return List;
}

} // namespace

// ---- Save ----

void TfrmORVStreams::actFileSaveExecute() {
  TCursor Saved = FServices.Screen->Cursor();
  FServices.Screen->SetCursor(TCursor::HourGlass);
  struct Restore {
    IScreen& Screen;
    TCursor Cursor;
    ~Restore() { Screen.SetCursor(Cursor); }
  } Finally{*FServices.Screen, Saved};
  {
    // The rebuild's status and progress end with it, before the question, also when it fails.
    struct Clear {
      TfrmORVStreams& Form;
      ~Clear() {
        Form.StatusProgress.Hide();
        Form.StatusBar.SetText(L"");
      }
    } ClearStatus{*this};
    SaveArchivesAndDefinition();
  }
  if (FServices.MessageBoxes->Show(msg::UpdatePreload, L"", TMsgButtons::YesNo, TMsgIcon::Question) ==
      TMsgResult::Yes)
    actFileUpdatePreloadExecute();
}

// All or nothing: the rebuilt archives and the definition file are swapped in together, and the editing
// state changes only once every file is in place. On failure the files, the offsets, both flags and the
// import journal are as before the save, so a later Save can retry and discarding still restores the
// archives as they were at open.
void TfrmORVStreams::SaveArchivesAndDefinition() {
  if (!FArchivesChanged && !FDefinitionChanged)
    return;
  std::vector<std::string> Targets{DefinitionPath()};
  if (FArchivesChanged)
    for (int32_t I = 0; I < FPack->ArchiveCount(); ++I)
      Targets.push_back(FPack->Archives(I)->FileName);
  std::vector<std::string> InTheWay = TFileSetCommit::Leftovers(Targets, true);
  if (!InTheWay.empty())
    throw Exception(WideToAnsi(msg::LeftoversInTheWay) + FileList(InTheWay));
  if (FArchivesChanged)
    StatusBar.SetText(msg::RebuildingArchives);
  std::vector<std::string> NotDeleted =
      FPack->SaveWithArchives(DefinitionPath(), FArchivesChanged,
                              [this](int64_t Done, int64_t Total) { StatusProgress.Show(Done, Total); });
  FArchivesChanged = false;
  FDefinitionChanged = false;
  for (const std::string& Copy : FJournal.Forget())
    NotDeleted.push_back(Copy);
  if (!NotDeleted.empty())
    FServices.MessageBoxes->Show(msg::CopiesNotDeleted + AnsiToWide(FileList(NotDeleted)), L"",
                                 TMsgButtons::OK, TMsgIcon::Warning);
}

// A save that died part-way left the old files under their backup names and the new ones under their
// copy names. Nothing is restored for the user: they are told which files these are.
void TfrmORVStreams::ReportSaveLeftovers(const std::string& Path) {
  std::vector<std::string> Targets{Path};
  for (const std::string& Definition : {Path, TFileSetCommit::OldName(Path)})
    for (const std::string& Archive : TStreamPack::ArchivePathsOf(Definition))
      Targets.push_back(Archive);
  std::vector<std::string> Leftovers = TFileSetCommit::Leftovers(Targets);
  for (const std::string& Target : Targets)
    if (platform::IsFile(TImportJournal::UndoName(Target)))
      Leftovers.push_back(TImportJournal::UndoName(Target));
  if (!Leftovers.empty())
    FServices.MessageBoxes->Show(msg::LeftoversAtOpen + AnsiToWide(FileList(Leftovers)), L"", TMsgButtons::OK,
                                 TMsgIcon::Warning);
}

// ---- preload update ----

void TfrmORVStreams::actFileUpdatePreloadExecute() {
  actFileUpdatePreloadBeforeExecute();
  TFolderDialogState Dialog = actFileUpdatePreloadDialog;
  if (!FServices.Dialogs->BrowseForFolder(Dialog))
    return;
  actFileUpdatePreloadDialog.Folder = Dialog.Folder;
  actFileUpdatePreloadAccept();
}

void TfrmORVStreams::actFileUpdatePreloadBeforeExecute() {
  IRegistry& Registry = *FServices.Registry;
  if (!Registry.OpenKeyReadOnly(TRootKey::LocalMachine, kGameKey))
    return;
  struct Close {
    IRegistry& Registry;
    ~Close() { Registry.CloseKey(); }
  } Finally{Registry};
  std::wstring InstallDir = Registry.ReadString(kInstallDirValue);
  actFileUpdatePreloadDialog.Folder = WideToAnsi(InstallDir + L"preload");
}

void TfrmORVStreams::actFileUpdatePreloadAccept() {
  struct Hide {
    TProgressModel& Progress;
    ~Hide() { Progress.Hide(); }
  } Finally{StatusProgress};
  TPreloadOutcome Outcome = UpdatePreloadFolder(
      DefinitionPath(), actFileUpdatePreloadDialog.Folder,
      [this] { FServices.MessageBoxes->Show(msg::UnableToCompress, L"", TMsgButtons::OK, TMsgIcon::Error); },
      [this](int64_t Done, int64_t Total) { StatusProgress.Show(Done, Total); });
  ReportPreloadOutcome(Outcome);
}

// An update that changed nothing is a warning: the game keeps reading the old definition.
void TfrmORVStreams::ReportPreloadOutcome(const TPreloadOutcome& Outcome) {
  auto Names = [](const std::vector<std::string>& List) {
    std::string Text;
    for (const std::string& Name : List)
      Text += (Text.empty() ? "" : ", ") + Name;
    return AnsiToWide(Text);
  };
  if (!Outcome.Updated.empty()) {
    StatusBar.SetText(msg::PreloadUpdated + Names(Outcome.Updated));
    return;
  }
  std::wstring Folder = AnsiToWide(actFileUpdatePreloadDialog.Folder);
  std::wstring Text = Outcome.Found.empty()
                          ? msg::NoPreloadArchives + AnsiToWide(platform::LineBreak()) + Folder
                          : msg::NoPreloadEntry + AnsiToWide(ExtractFileName(DefinitionPath())) + L" (" +
                                Names(Outcome.Found) + L" in " + Folder + L").";
  FServices.MessageBoxes->Show(Text, L"", TMsgButtons::OK, TMsgIcon::Warning);
}
