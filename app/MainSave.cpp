// Save (archive rebuild and definition file) and the preload update of the main window.

#include "app/BusyCursor.h"
#include "app/Messages.h"
#include "app/uMain.h"
#include "base/Exceptions.h"
#include "base/Paths.h"
#include "base/ScopeGuard.h"
#include "base/Streams.h"
#include "base/Text.h"
#include "definitions/Preload.h"
#include "platform/FileSystem.h"
#include "workflows/KeptOriginals.h"
#include "workflows/TagDescriptions.h"

#include <vector>

namespace {

const char* const kGameKey = "SOFTWARE\\EA SPORTS\\ORVIK";
const char* const kInstallDirValue = "Install Dir";

// An undone import, as the question to do it again names it: the song by its own name, and where it goes.
std::wstring ImportLine(const TImportRecord& Import) {
  std::wstring Name = Import.SourceName.empty() ? AnsiToWide(ExtractFileName(Import.Source))
                                                : WideFromUtf8(Import.SourceName);
  std::wstring Where =
      L"Stream " + std::to_wstring(Import.Stream) + L", sample " + std::to_wstring(Import.Sample);
  if (Import.AsNewFile)
    Where += L" (new entry " + AnsiToWide(Import.EntryName) + L")";
  if (Import.Description.Set)
    Where += L", \"" + AnsiToWide(Import.Description.Name) + L"\"";
  return Name + L" -> " + Where;
}

} // namespace

// ---- Save ----

void TfrmORVStreams::actFileSaveExecute() {
  KeepOriginalMusic();
  TBusyCursor Busy(*FServices.Screen);
  {
    // The rebuild's status and progress end with it, before the question, also when it fails.
    TScopeGuard ClearStatus([this] {
      StatusProgress.Hide();
      StatusBar.SetText(L"");
    });
    SaveArchivesAndDefinition();
  }
  // The question names the folder it would update: with a second copy of the game, the registered one may
  // not be this definition's.
  actFileUpdatePreloadBeforeExecute();
  std::wstring Question = msg::UpdatePreload;
  if (!actFileUpdatePreloadDialog.Folder.empty())
    Question += AnsiToWide(std::string(platform::LineBreak()) + platform::LineBreak() +
                           actFileUpdatePreloadDialog.Folder);
  if (FServices.MessageBoxes->Show(Question, L"", TMsgButtons::YesNo, TMsgIcon::Question) == TMsgResult::Yes)
    actFileUpdatePreloadExecute();
}

// All or nothing: the rebuilt archives and the definition file are swapped in together through the
// definition's journal, and the editing state changes only once every file is in place. On failure the
// files, the offsets, both flags and the journal are as before the save, so a later Save can retry and
// discarding still restores the archives as they were at the last save.
void TfrmORVStreams::SaveArchivesAndDefinition() {
  if (!FArchivesChanged && !FDefinitionChanged)
    return;
  if (FArchivesChanged)
    StatusBar.SetText(msg::RebuildingArchives);
  FPack->SaveWithArchives(
      DefinitionPath(), FArchivesChanged,
      [this](int64_t Done, int64_t Total) { StatusProgress.Show(Done, Total); }, &FSession->Journal);
  FSession->Imports.Forget();
  FArchivesChanged = false;
  FDefinitionChanged = false;
  // The rebuilt archives no longer hold the songs that an undo would need. Said once, when nothing else
  // waits for the status bar (keeping the original music, at the first save, says where it went).
  if (!FHistory.Empty() && !FToldSaveEndsHistory && FPendingStatus.empty()) {
    FPendingStatus = msg::SaveEndsHistory;
    FToldSaveEndsHistory = true;
  }
  EndHistory();
}

void TfrmORVStreams::ReportRecovery(TRecoveryReport& Report) {
  using TOutcome = TWriteJournal::TOutcome;
  const wchar_t* Title = msg::ApplicationTitle;
  if (Report.Outcome == TOutcome::SetAside) {
    FServices.MessageBoxes->Show(std::wstring(msg::JournalSetAside) + AnsiToWide(platform::LineBreak()) +
                                     AnsiToWide(Report.SetAsideAs) + AnsiToWide(platform::LineBreak()) +
                                     L"because " + AnsiToWide(Report.Reason) + L".",
                                 Title, TMsgButtons::OK, TMsgIcon::Warning);
    return;
  }
  if (Report.Outcome == TOutcome::RolledForward) {
    FServices.MessageBoxes->Show(msg::SaveFinished, Title, TMsgButtons::OK, TMsgIcon::Warning);
    return;
  }
  if (Report.Outcome != TOutcome::RolledBack)
    return;
  if (Report.Imports.empty()) {
    FServices.MessageBoxes->Show(msg::ChangesRolledBack, Title, TMsgButtons::OK, TMsgIcon::Warning);
    return;
  }
  std::wstring Songs;
  for (const TImportRecord& Import : Report.Imports)
    Songs += AnsiToWide(platform::LineBreak()) + ImportLine(Import);
  TMsgResult Answer =
      FServices.MessageBoxes->Show(std::wstring(msg::ChangesRolledBack) + L" " + msg::ImportAgain + Songs,
                                   Title, TMsgButtons::YesNo, TMsgIcon::Question);
  TScopeGuard Discard([&Report] { TImportJournal::DiscardKept(Report.Imports); });
  if (Answer == TMsgResult::Yes)
    ImportAgain(Report.Imports);
}

// The imports are done again in their order on the samples they were made for; one whose stream or
// sample the saved definition lacks (a sample added and never saved) is left out.
void TfrmORVStreams::ImportAgain(const std::vector<TImportRecord>& Imports) {
  KeepOriginalMusic();
  TBusyCursor Busy(*FServices.Screen);
  TScopeGuard ClearStatus([this] { StatusBar.SetText(L""); });
  for (const TImportRecord& Import : Imports) {
    if (Import.Stream < 0 || Import.Stream >= FPack->StreamCount() || Import.Sample < 0 ||
        Import.Sample >= FPack->Streams(Import.Stream)->SampleCount() || !platform::IsFile(Import.Kept))
      continue;
    TStreamData* Sample = FPack->Streams(Import.Stream)->Samples(Import.Sample);
    if (Sample->ArchiveIndex < 0 || Sample->ArchiveIndex >= FPack->ArchiveCount() ||
        (!Import.AsNewFile && Sample->StreamFile() == nullptr))
      continue;
    // The kept song is imported from a scratch copy, since the import consumes its input.
    std::string Converted = ChangeFileExt(MakeTempFileName("~asf"), ".asf");
    CopyWholeFile(Import.Kept, Converted);
    ImportConverted(Sample, Converted, Import.AsNewFile, Import.EntryName, Import.Source, Import.Description);
    Describe(*Sample, Import.Description);
    if (Import.Description.Set)
      FDefinitionChanged = true;
  }
  RebuildTree();
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
  // Writing this definition into another game's preload archives would break that game.
  const std::string Own = DefaultPreloadFolder(DefinitionPath());
  if (!DefinitionPath().empty() && platform::IsFolder(Own)) {
    actFileUpdatePreloadDialog.Folder = Own;
    return;
  }
  IRegistry& Registry = *FServices.Registry;
  if (!Registry.OpenKeyReadOnly(TRootKey::LocalMachine, kGameKey))
    return;
  TScopeGuard Close([&Registry] { Registry.CloseKey(); });
  std::wstring InstallDir = Registry.ReadString(kInstallDirValue);
  actFileUpdatePreloadDialog.Folder = WideToAnsi(InstallDir + L"preload");
}

void TfrmORVStreams::actFileUpdatePreloadAccept() {
  KeepOriginalMusic();
  TScopeGuard Hide([this] { StatusProgress.Hide(); });
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
  FServices.MessageBoxes->Show(Text, msg::ApplicationTitle, TMsgButtons::OK, TMsgIcon::Warning);
}
