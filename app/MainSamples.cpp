// Preview, export and import of the selected sample; every conversion runs the outside converter.

#include "app/BusyCursor.h"
#include "app/Messages.h"
#include "app/uMain.h"
#include "base/Exceptions.h"
#include "base/Paths.h"
#include "base/ScopeGuard.h"
#include "base/Streams.h"
#include "base/Text.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "workflows/JournaledImport.h"
#include "workflows/SongFiles.h"

#include <cwctype>
#include <exception>

namespace {

constexpr uint16_t kHidden = 0; // SW_HIDE

// The export dialog's file types, in the order of its filter; each a format of the converter.
const char* const kExportFormats[8] = {"wave", "eaxa", "s16l", "s8", "mt", "mt5", "aiff", "flac"};

const wchar_t* const kExportFilter =
    L"Wave Audio (*.wav)|*.wave|EA Sports PC Stream [EA-XA 3.7:1] (*.asf)|*.asf|EA Sports PC Stream [Signed "
    L"16-bit Little-Endian] (*.asf)|*.asf|EA Sports PC Stream [Signed 8-bit Interleaved] (*.asf)|*.asf|EA "
    L"Sports "
    L"PC Stream [MicroTalk 10:1] (*.asf)|*.asf|EA Sports PC Stream [Microtalk 5:1] (*.asf)|*.asf|AIFF Audio "
    L"(*.aif;*.aiff)|*.aif;*.aiff|FLAC Audio (*.flac)|*.flac";

const wchar_t* const kImportFilter =
    L"All Supported Formats (*.asf;*.wav;*.mp3;*.aiff;*.aif;*.flac)|*.asf;*.wav;*.mp3;*.aiff;*.aif;*.flac";

// The format of the export dialog's file type FilterIndex (counted from 1); Wave for any other.
const TConverterFormat& ExportFormat(int FilterIndex) {
  return *FindConverterFormat(FilterIndex >= 1 && FilterIndex <= 8 ? kExportFormats[FilterIndex - 1]
                                                                   : "wave");
}

// The window's converter runner as the workflows run the converter: it waits painting, and only the
// converter's standard error comes back.
class TWindowConverterProcess : public IConverterProcess {
public:
  TWindowConverterProcess(IConverterRunner& Runner, std::wstring Program, std::wstring Folder)
      : FRunner(Runner), FProgram(std::move(Program)), FFolder(std::move(Folder)) {}
  TConverterRun Run(const std::wstring& Parameters) override {
    TConverterRun Result;
    Result.Started = FRunner.ExecuteAndWait(FProgram, Parameters, FFolder, kHidden, Result.Errors);
    return Result;
  }

private:
  IConverterRunner& FRunner;
  std::wstring FProgram, FFolder;
};

// Message, and under it the converter's own reason, when it gave one.
std::wstring WithReason(const wchar_t* Message, const std::string& Reason) {
  if (Reason.empty())
    return Message;
  return Message + AnsiToWide(platform::LineBreak()) + AnsiToWide(Reason);
}

std::wstring UpperCase(std::wstring Text) {
  for (wchar_t& C : Text)
    C = static_cast<wchar_t>(std::towupper(C));
  return Text;
}

// The folder part of a wide path, with its trailing delimiter.
std::wstring FolderOf(const std::wstring& Path) {
  return Path.substr(0, Path.find_last_of(L"\\/:") + 1);
}

std::wstring WithExtension(const std::wstring& Path, const std::wstring& Extension) {
  size_t NameStart = Path.find_last_of(L"\\/:");
  NameStart = NameStart == std::wstring::npos ? 0 : NameStart + 1;
  size_t Dot = Path.rfind(L'.');
  size_t End = Dot == std::wstring::npos || Dot < NameStart ? Path.size() : Dot;
  return Path.substr(0, End) + Extension;
}

} // namespace

// ---- the converter ----

std::wstring TfrmORVStreams::ConverterFolder() const {
  return AnsiToWide(FServices.ProgramFolder + "sx");
}

std::wstring TfrmORVStreams::ConverterPath() const {
  return ConverterFolder() + static_cast<wchar_t>(platform::PathDelimiter()) + L"sx" +
         AnsiToWide(platform::ExecutableSuffix());
}

TConversion
TfrmORVStreams::RunSongStep(const std::function<TConversion(TConverter&, const TSongFileSteps&)>& Step) {
  TWindowConverterProcess Process(*FServices.Converter, ConverterPath(), ConverterFolder());
  TConverter Converter(Process);
  TScopeGuard ClearStatus([this] { StatusBar.SetText(L""); });
  return Step(Converter, [this](TSongFileStep Reached) {
    StatusBar.SetText(Reached == TSongFileStep::Extracting   ? L"Extracting..."
                      : Reached == TSongFileStep::Converting ? L"Converting..."
                                                             : L"Importing...");
  });
}

// ---- preview ----

bool TfrmORVStreams::PreviewPlaying() const {
  return UpperCase(actSamplePreview.Caption()) == UpperCase(msg::Stop);
}

void TfrmORVStreams::actSamplePreviewExecute() {
  if (PreviewPlaying()) {
    StopPreview();
    return;
  }
  TStreamData* Sample = SelectedSample();
  if (Sample == nullptr || !FPack)
    return;
  TEAStreamFile* File = Sample->StreamFile();
  std::string Preview;
  TBusyCursor Busy(*FServices.Screen);
  TConversion Conversion = RunSongStep([&](TConverter& Converter, const TSongFileSteps& Steps) {
    return PreviewSong(Converter, *File, Preview, Steps);
  });
  Busy.Restore();
  if (!Conversion.Made) {
    FServices.MessageBoxes->Show(WithReason(msg::UnableToConvertSample, Conversion.Reason), L"",
                                 TMsgButtons::OK, TMsgIcon::Error);
    return;
  }
  FPreviewFile = Preview;
  StatusBar.SetText(L"Playing...");
  FServices.Sound->PlayLooped(FPreviewFile);
  actSamplePreview.SetCaption(msg::Stop);
  actSamplePreview.SetImageIndex(5);
  picSong.SetPlaying(true);
}

void TfrmORVStreams::StopPreview() {
  FServices.Sound->Stop();
  StatusBar.SetText(L"");
  // The preview ends whatever happens to its file, so the window always stays closable.
  std::string Played = FPreviewFile;
  FPreviewFile.clear();
  actSamplePreview.SetCaption(msg::Preview);
  actSamplePreview.SetImageIndex(4);
  picSong.SetPlaying(false);
  if (!Played.empty() && platform::IsFile(Played))
    CheckOSError(platform::DeleteFile(Played));
}

// ---- export ----

void TfrmORVStreams::actSampleExportExecute() {
  actSampleExportBeforeExecute();
  TFileDialogState Dialog = actSampleExportDialog;
  Dialog.Filter = kExportFilter;
  bool Confirmed = FServices.Dialogs->ExecuteSave(
      Dialog, [this](IOpenSaveDialog& Open) { actSampleExportTypeChange(Open); });
  actSampleExportDialog = Dialog;
  if (Confirmed)
    actSampleExportAccept();
}

void TfrmORVStreams::actSampleExportBeforeExecute() {
  actSampleExportDialog.Filter = kExportFilter;
  TStreamData* Sample = SelectedSample();
  if (Sample == nullptr || !FPack)
    return;
  actSampleExportDialog.FileName = AnsiToWide(Sample->StreamFile()->Name);
  actSampleExportDialog.FilterIndex = 2;
}

void TfrmORVStreams::actSampleExportTypeChange(IOpenSaveDialog& Dialog) {
  std::wstring Folder = Dialog.CurrentFolder() + L"\\";
  std::wstring Name = Dialog.CurrentFileName();
  if (UpperCase(FolderOf(Name)) == UpperCase(Folder))
    Name = Name.substr(FolderOf(Name).size());
  int Index = Dialog.FilterIndex();
  if (Index >= 1 && Index <= 8)
    Name = WithExtension(Name, AnsiToWide(ExportFormat(Index).Extension));
  Dialog.SetFileNameBox(Name);
}

void TfrmORVStreams::actSampleExportAccept() {
  TStreamData* Sample = SelectedSample();
  if (Sample == nullptr || !FPack)
    return;
  TBusyCursor Busy(*FServices.Screen);
  TConversion Conversion = RunSongStep([&](TConverter& Converter, const TSongFileSteps& Steps) {
    return ExportSong(Converter, *Sample->StreamFile(), ExportFormat(actSampleExportDialog.FilterIndex),
                      actSampleExportDialog.FileName, TagsOf(*Sample), Steps);
  });
  Busy.Restore();
  if (!Conversion.Made)
    FServices.MessageBoxes->Show(WithReason(msg::UnableToConvertSample, Conversion.Reason), L"",
                                 TMsgButtons::OK, TMsgIcon::Error);
}

// ---- import ----

void TfrmORVStreams::actSampleImportExecute() {
  actSampleImportDialog.Filter = kImportFilter;
  std::vector<std::wstring> Files;
  if (!FServices.Dialogs->ExecuteOpenMany(actSampleImportDialog, Files))
    return;
  if (Files.size() == 1)
    actSampleImportAccept(&actSampleImport);
  else
    ImportSongs(treeFiles.Selected(), Files);
}

void TfrmORVStreams::actStreamImportSongsExecute() {
  TTreeNode* Node = treeFiles.Selected();
  if (!FPack || Node == nullptr || Node->Level() == 2)
    return;
  actSampleImportDialog.Filter = kImportFilter;
  std::vector<std::wstring> Files;
  if (FServices.Dialogs->ExecuteOpenMany(actSampleImportDialog, Files))
    ImportSongs(Node, Files, true);
}

void TfrmORVStreams::btnAddFileClick() {
  actSampleImportDialog.Filter = kImportFilter;
  if (FServices.Dialogs->ExecuteOpen(actSampleImportDialog))
    actSampleImportAccept(&btnAddFile);
}

void TfrmORVStreams::actSampleImportAccept(const void* Sender) {
  TStreamData* Sample = SelectedSample();
  if (Sample == nullptr || !FPack)
    return;
  KeepOriginalMusic();
  TCursor Saved = FServices.Screen->Cursor();
  FServices.Screen->SetCursor(TCursor::HourGlass);
  bool AsNewFile = Sender != &actSampleImport;
  std::exception_ptr Failure;
  TEditStep Step(*this, L"Import of " + ExtractFileName(actSampleImportDialog.FileName));
  try {
    TSongImport Import;
    RunSongStep([&](TConverter& Converter, const TSongFileSteps& Steps) {
      Import = ImportSong(Converter, FSession->Imports, *Sample, AsNewFile, actSampleImportDialog.FileName,
                          {}, Steps);
      return Import.Conversion;
    });
    if (Import.Conversion.Made) {
      if (!AsNewFile)
        FArchivesChanged = true;
      FDefinitionChanged = true;
    } else {
      FServices.Screen->SetCursor(Saved);
      FServices.MessageBoxes->Show(WithReason(msg::UnableToConvertInput, Import.Conversion.Reason), L"",
                                   TMsgButtons::OK, TMsgIcon::Error);
    }
  } catch (...) {
    Failure = std::current_exception();
  }
  // The tree is rebuilt and the cursor restored on every path; the import's own error is the one reported.
  try {
    RebuildTree();
  } catch (...) {
    FServices.Screen->SetCursor(Saved);
    if (Failure)
      std::rethrow_exception(Failure);
    throw;
  }
  FServices.Screen->SetCursor(Saved);
  if (Failure)
    std::rethrow_exception(Failure);
}

void TfrmORVStreams::ImportConverted(TStreamData* Sample, const std::string& Converted, bool AsNewFile,
                                     const std::string& EntryName, const std::string& Source,
                                     const TImportDescription& Description) {
  StatusBar.SetText(L"Importing...");
  TScopeGuard ClearStatus([this] { StatusBar.SetText(L""); });
  try {
    ImportThroughJournal(FSession->Imports, *Sample, AsNewFile, EntryName, Source, Converted, Description);
    if (!AsNewFile)
      FArchivesChanged = true;
  } catch (...) {
    DeleteIfPresent(Converted);
    throw;
  }
  CheckOSError(platform::DeleteFile(Converted));
  FDefinitionChanged = true;
}
