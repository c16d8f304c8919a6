// Preview, export and import of the selected sample; every conversion runs the outside converter.

#include "app/BusyCursor.h"
#include "app/Messages.h"
#include "app/uMain.h"
#include "base/Exceptions.h"
#include "base/FileSetCommit.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "workflows/JournaledImport.h"

#include <cwctype>
#include <exception>

namespace {

constexpr uint16_t kHidden = 0; // SW_HIDE

struct TExportFormat {
  const char* Option;
  const wchar_t* Extension;
};

const TExportFormat kExportFormats[7] = {
    {"-wave ", L".wav"},
    {"-pcstream -eaxa_blk ", L".asf"},
    {"-pcstream -s16l_blk ", L".asf"},
    {"-pcstream -s8_blk ", L".asf"},
    {"-pcstream -mt_blk ", L".asf"},
    {"-pcstream -mt5_blk ", L".asf"},
    {"-aiff ", L".aif"},
};

const char* const kImportOption = "-pcstream -eaxa_blk ";

const wchar_t* const kExportFilter =
    L"Wave Audio (*.wav)|*.wave|EA Sports PC Stream [EA-XA 3.7:1] (*.asf)|*.asf|EA Sports PC Stream [Signed "
    L"16-bit Little-Endian] (*.asf)|*.asf|EA Sports PC Stream [Signed 8-bit Interleaved] (*.asf)|*.asf|EA "
    L"Sports "
    L"PC Stream [MicroTalk 10:1] (*.asf)|*.asf|EA Sports PC Stream [Microtalk 5:1] (*.asf)|*.asf|AIFF Audio "
    L"(*.aif;*.aiff)|*.aif;*.aiff";

const wchar_t* const kImportFilter =
    L"All Supported Formats (*.asf;*.wav;*.mp3;*.aiff;*.aif)|*.asf;*.wav;*.mp3;*.aiff;*.aif";

const char* ExportOption(int FormatIndex) {
  return FormatIndex >= 2 && FormatIndex <= 7 ? kExportFormats[FormatIndex - 1].Option
                                              : kExportFormats[0].Option;
}

std::string ScratchName(const char* Prefix, const char* Extension) {
  return ChangeFileExt(MakeTempFileName(Prefix), Extension);
}

// Path: an ANSI file name or a wide one.
template <typename TPath> void DiscardIfPresent(const TPath& Path) {
  if (platform::IsFile(Path))
    platform::DeleteFile(Path);
}

// Message, and under it the converter's own reason, when it gave one.
std::wstring WithReason(const wchar_t* Message, const std::string& Reason) {
  size_t End = Reason.find_last_not_of(" \t\r\n");
  if (End == std::string::npos)
    return Message;
  return Message + AnsiToWide(platform::LineBreak()) + AnsiToWide(Reason.substr(0, End + 1));
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

std::string TfrmORVStreams::Convert(const std::string& Option, const std::wstring& Input,
                                    const std::wstring& Output) {
  std::wstring Parameters = AnsiToWide(Option) + L"\"" + Input + L"\" -=\"" + Output + L"\"";
  std::string ErrorOutput;
  FServices.Converter->ExecuteAndWait(ConverterPath(), Parameters, ConverterFolder(), kHidden, ErrorOutput);
  return ErrorOutput;
}

// A file already at the output path steps aside for the run, so that only the converter's own output can
// count as success; it comes back when the converter leaves none, and goes once the new one is there.
bool TfrmORVStreams::ExportSample(TEAStreamFile* File, int FormatIndex, const std::wstring& Output,
                                  std::string* Reason) {
  std::wstring Aside = platform::IsFile(Output) ? TFileSetCommit::OldName(Output) : L"";
  std::string Extracted = ScratchName("~asf", ".asf");
  auto PutBack = [&] {
    if (!Aside.empty() && !platform::IsFile(Output))
      platform::MoveFile(Aside, Output);
  };
  try {
    StatusBar.SetText(L"Extracting...");
    File->SaveToFile(Extracted);
    if (!Aside.empty())
      if (int Error = platform::MoveFile(Output, Aside))
        throw EFCreateError(WideToAnsi(Output), Error);
    StatusBar.SetText(L"Converting...");
    std::string ErrorOutput = Convert(ExportOption(FormatIndex), AnsiToWide(Extracted), Output);
    if (Reason != nullptr)
      *Reason = ErrorOutput;
  } catch (...) {
    PutBack();
    DiscardIfPresent(Extracted);
    StatusBar.SetText(L"");
    throw;
  }
  bool Converted = platform::IsFile(Output);
  PutBack();
  if (Converted)
    DiscardIfPresent(Aside);
  CheckOSError(platform::DeleteFile(Extracted));
  StatusBar.SetText(L"");
  return Converted;
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
  std::string Preview = ScratchName("~wav", ".wav");
  TBusyCursor Busy(*FServices.Screen);
  bool Converted = false;
  std::string Reason;
  try {
    Converted = ExportSample(File, 1, AnsiToWide(Preview), &Reason);
  } catch (...) {
    DiscardIfPresent(Preview);
    throw;
  }
  Busy.Restore();
  if (!Converted) {
    FServices.MessageBoxes->Show(WithReason(msg::UnableToConvertSample, Reason), L"", TMsgButtons::OK,
                                 TMsgIcon::Error);
    return;
  }
  FPreviewFile = Preview;
  StatusBar.SetText(L"Playing...");
  FServices.Sound->PlayLooped(FPreviewFile);
  actSamplePreview.SetCaption(msg::Stop);
  actSamplePreview.SetImageIndex(5);
}

void TfrmORVStreams::StopPreview() {
  FServices.Sound->Stop();
  StatusBar.SetText(L"");
  // The preview ends whatever happens to its file, so the window always stays closable.
  std::string Played = FPreviewFile;
  FPreviewFile.clear();
  actSamplePreview.SetCaption(msg::Preview);
  actSamplePreview.SetImageIndex(4);
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
  if (Index >= 1 && Index <= 7)
    Name = WithExtension(Name, kExportFormats[Index - 1].Extension);
  Dialog.SetFileNameBox(Name);
}

void TfrmORVStreams::actSampleExportAccept() {
  TStreamData* Sample = SelectedSample();
  if (Sample == nullptr || !FPack)
    return;
  TBusyCursor Busy(*FServices.Screen);
  std::string Reason;
  bool Converted = ExportSample(Sample->StreamFile(), actSampleExportDialog.FilterIndex,
                                actSampleExportDialog.FileName, &Reason);
  Busy.Restore();
  if (!Converted)
    FServices.MessageBoxes->Show(WithReason(msg::UnableToConvertSample, Reason), L"", TMsgButtons::OK,
                                 TMsgIcon::Error);
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
  std::exception_ptr Failure;
  try {
    std::string Converted = ScratchName("~asf", ".asf");
    StatusBar.SetText(L"Converting...");
    std::string Reason = Convert(kImportOption, actSampleImportDialog.FileName, AnsiToWide(Converted));
    if (platform::IsFile(Converted)) {
      // The journal notes the file by a name it can open again, which gives back its own long name.
      std::string Source = WideToAnsi(actSampleImportDialog.FileName);
      ImportConverted(Sample, Converted, Sender != &actSampleImport,
                      ChangeFileExt(ExtractFileName(Source), ".asf"),
                      platform::NarrowFileName(actSampleImportDialog.FileName));
    } else {
      FServices.Screen->SetCursor(Saved);
      StatusBar.SetText(L"");
      FServices.MessageBoxes->Show(WithReason(msg::UnableToConvertInput, Reason), L"", TMsgButtons::OK,
                                   TMsgIcon::Error);
    }
  } catch (...) {
    Failure = std::current_exception();
  }
  // The tree is rebuilt and the cursor restored on every path; the import's own error is the one reported.
  StatusBar.SetText(L"");
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
  try {
    // A sample bound to no entry has nothing of the archive to describe to the journal.
    if (AsNewFile || Sample->StreamFile() != nullptr)
      ImportThroughJournal(FSession->Imports, *Sample, AsNewFile, EntryName, Source, Converted, Description);
    else
      Sample->ImportFile(Converted, false, "");
    if (!AsNewFile)
      FArchivesChanged = true;
  } catch (...) {
    DiscardIfPresent(Converted);
    throw;
  }
  CheckOSError(platform::DeleteFile(Converted));
  FDefinitionChanged = true;
}
