// The game's original music, kept before the first change and restored on request, and soundtrack packs.

#include "app/BusyCursor.h"
#include "app/Messages.h"
#include "app/uMain.h"
#include "base/Exceptions.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "platform/FileSystem.h"
#include "workflows/KeptOriginals.h"
#include "workflows/SoundtrackPack.h"

#include <cstdio>

namespace {

std::wstring Megabytes(int64_t Bytes) {
  char Text[32];
  std::snprintf(Text, sizeof Text, "%.1f MB", static_cast<double>(Bytes) / (1024 * 1024));
  return AnsiToWide(Text);
}

std::wstring Where(int32_t Stream, int32_t Position) {
  return L"Stream " + std::to_wstring(Stream) + L", sample " + std::to_wstring(Position);
}

// One line of the pack's question: where, and what becomes of the song and the description.
std::wstring ChangeLine(const TPackChange& Change, const TSoundtrackPack& Pack) {
  const TPackSample& Sample = Pack.Manifest.Samples[Change.Sample];
  const TPackSong& Song = Pack.Manifest.Songs[static_cast<size_t>(Sample.Song)];
  std::wstring Line = Where(Change.Stream, Change.Position) + (Change.NewSample ? L" (new)" : L"") + L": ";
  bool NewSong = Change.Song == TPackChange::Replace || Change.Song == TPackChange::Add ||
                 Change.Song == TPackChange::Bind;
  // Each change is one line of the question: no line break or other control character from a file.
  if (NewSong)
    Line += L"song " + AnsiToWide(Change.OldSong.empty() ? "(none)" : PrintableText(Change.OldSong)) +
            L" -> " + AnsiToWide(PrintableText(Song.Name));
  if (Change.DescriptionChanges)
    Line += std::wstring(NewSong ? L"; " : L"") + L"description " +
            AnsiToWide(PrintableText(Change.NewDescription));
  return Line;
}

// The status bar's progress while a long copy runs, hidden again however it ends.
class TShownProgress {
public:
  explicit TShownProgress(TProgressModel& Progress) : FProgress(Progress) {}
  ~TShownProgress() { FProgress.Hide(); }
  TShownProgress(const TShownProgress&) = delete;
  TShownProgress& operator=(const TShownProgress&) = delete;
  TRebuildProgress Report() {
    return [this](int64_t Done, int64_t Total) { FProgress.Show(Done, Total); };
  }

private:
  TProgressModel& FProgress;
};

} // namespace

void TfrmORVStreams::KeepOriginalMusic() {
  if (FReadOnly)
    throw Exception(msg::KeptDefinitionRefused);
  // Once a change is under way the files are no longer the originals: only a first change keeps them.
  if (!FPack || !FSession || FSession->Journal.Active())
    return;
  TKeptOriginals Originals(FDefinitionPath, DefaultPreloadFolder(FDefinitionPath));
  if (std::optional<TSetAside> Aside = Originals.SetAsideIfDamaged()) {
    FOriginalKept = false;
    FServices.MessageBoxes->Show(AnsiToWide(Aside->Notice()), msg::ApplicationTitle, TMsgButtons::OK,
                                 TMsgIcon::Warning);
    return;
  }
  if (Originals.State() != TKeptState::None) {
    FOriginalKept = Originals.State() == TKeptState::Kept;
    return;
  }
  std::wstring Question = msg::KeepOriginalMusic + Megabytes(Originals.SizeToKeep()) + L", in \"" +
                          AnsiToWide(Originals.Folder()) + L"\"" + msg::KeepOriginalMusicEnd;
  if (FServices.MessageBoxes->Show(Question, msg::ApplicationTitle, TMsgButtons::YesNo, TMsgIcon::Question) !=
      TMsgResult::Yes) {
    Originals.Decline();
    return;
  }
  TShownProgress Progress(StatusProgress);
  StatusBar.SetText(msg::KeepingOriginalMusic);
  try {
    Originals.Keep(FSession->Journal, Progress.Report());
  } catch (...) {
    StatusBar.SetText(L"");
    throw;
  }
  FOriginalKept = true;
  // The change that follows writes its own status: the note shows once it is done.
  StatusBar.SetText(L"");
  FPendingStatus = msg::OriginalMusicKept + AnsiToWide(Originals.Folder());
}

// Neither a lock nor a recovery: both would write in the kept folder, which only keeps and restores of the
// game's own definition change.
void TfrmORVStreams::OpenKeptCopy(const std::string& Path) {
  auto Pack = std::make_unique<TStreamPack>(ExtractFilePath(Path));
  Pack->LoadFromFile(Path);
  FPack = std::move(Pack);
  FDefinitionPath = Path;
  FReadOnly = true;
  FillDescriptions();
  FillArchives();
  RebuildTree();
  FServices.MessageBoxes->Show(msg::KeptDefinitionReadOnly, msg::ApplicationTitle, TMsgButtons::OK,
                               TMsgIcon::Warning);
}

void TfrmORVStreams::actFileRestoreOriginalExecute() {
  if (!FPack || FReadOnly)
    return;
  std::string Path = FDefinitionPath;
  TKeptOriginals Originals(Path, DefaultPreloadFolder(Path));
  std::wstring Question = msg::RestoreOriginalMusic;
  if (FDefinitionChanged || FArchivesChanged)
    Question += msg::RestoreDiscards;
  if (FServices.MessageBoxes->Show(Question, msg::ApplicationTitle, TMsgButtons::YesNo, TMsgIcon::Question) !=
      TMsgResult::Yes)
    return;
  // Closed without saving: the imports since the last save are undone, and the lock is free for the
  // restore's own session.
  FDefinitionChanged = false;
  FArchivesChanged = false;
  CloseDefinition();
  // The definition opens again however the restore ends: a restore that failed left every file old, or
  // has its commit finished by the recovery of that open.
  std::exception_ptr Failure;
  {
    TShownProgress Progress(StatusProgress);
    StatusBar.SetText(msg::RestoringOriginalMusic);
    TDefinitionSession Session(Path);
    Session.Open();
    try {
      Originals.Restore(Session.Journal, Progress.Report());
    } catch (...) {
      Failure = std::current_exception();
    }
    Session.Close();
  }
  StatusBar.SetText(L"");
  actFileOpenDialog.FileName = AnsiToWide(Path);
  actFileOpenAccept();
  if (Failure)
    std::rethrow_exception(Failure);
  StatusBar.SetText(msg::OriginalMusicRestored);
}

void TfrmORVStreams::actFileExportPackExecute() {
  if (!FPack)
    return;
  TFileDialogState Dialog = actFileExportPackDialog;
  Dialog.Title = L"Export Soundtrack Pack";
  Dialog.Filter = msg::PackFilter;
  Dialog.DefaultExt = L"orvikpack";
  if (Dialog.FileName.empty())
    Dialog.FileName = L"My soundtrack.orvikpack";
  bool Confirmed = FServices.Dialogs->ExecuteSave(Dialog, [](IOpenSaveDialog&) {});
  actFileExportPackDialog = Dialog;
  if (!Confirmed)
    return;
  auto Originals =
      TKeptOriginals(FDefinitionPath, DefaultPreloadFolder(FDefinitionPath)).LoadKeptDefinition();
  TBusyCursor Busy(*FServices.Screen);
  TConverter Converter(ConverterProcess());
  TPackExportOptions Options;
  Options.Converter = &Converter;
  TPackExport Export =
      ExportPack(*FPack, Originals.get(), platform::NarrowFileName(Dialog.FileName), Options);
  StatusBar.SetText(L"Exported " + std::to_wstring(Export.Manifest.Samples.size()) + L" sample(s) with " +
                    std::to_wstring(Export.Manifest.Songs.size()) + L" song(s)" +
                    (Originals ? L", those that differ from the original music" : L", every sample"));
}

void TfrmORVStreams::actFileApplyPackExecute() {
  if (!FPack)
    return;
  actFileApplyPackDialog.Title = L"Apply Soundtrack Pack";
  actFileApplyPackDialog.Filter = msg::PackFilter;
  if (!FServices.Dialogs->ExecuteOpen(actFileApplyPackDialog))
    return;
  auto Pack = ReadPack(platform::NarrowFileName(actFileApplyPackDialog.FileName));
  TPackPlan Plan = PlanPack(*FPack, *Pack);
  if (Plan.ChangeCount() == 0 && Plan.Unmatched.empty()) {
    FServices.MessageBoxes->Show(msg::PackChangesNothing, msg::ApplicationTitle, TMsgButtons::OK,
                                 TMsgIcon::Warning);
    return;
  }
  // The question lists the first changes and what does not fit this definition.
  const size_t Shown = 20;
  std::wstring Question = msg::ApplyPack, Break = AnsiToWide(platform::LineBreak());
  size_t Listed = 0;
  for (const TPackChange& Change : Plan.Changes)
    if (Change.Changes() && Listed++ < Shown)
      Question += Break + ChangeLine(Change, *Pack);
  if (Listed > Shown)
    Question += Break + L"... and " + std::to_wstring(Listed - Shown) + L" more";
  for (const TPackMismatch& Miss : Plan.Unmatched)
    Question += Break + Where(Miss.Stream, Miss.Position) + L": not applied: " + AnsiToWide(Miss.Reason);
  if (FServices.MessageBoxes->Show(Question, msg::ApplicationTitle, TMsgButtons::YesNo, TMsgIcon::Question) !=
      TMsgResult::Yes)
    return;
  KeepOriginalMusic();
  TEditStep Step(*this, L"Apply Soundtrack Pack");
  TPackApplied Applied;
  std::exception_ptr Failure;
  try {
    Applied = ApplyPack(*FPack, *FSession, *Pack);
  } catch (...) {
    Failure = std::current_exception();
  }
  // What was written stays journaled, an unsaved change like an import, also when the rest failed.
  FDefinitionChanged = true;
  FArchivesChanged = FArchivesChanged || Applied.Replaced || Failure;
  FillDescriptions();
  RebuildTree();
  if (Failure)
    std::rethrow_exception(Failure);
  StatusBar.SetText(L"Soundtrack pack applied: " + std::to_wstring(Applied.Plan.ChangeCount()) +
                    L" sample(s) changed, " + std::to_wstring(Applied.Plan.Unmatched.size()) +
                    L" not matching this definition");
}
