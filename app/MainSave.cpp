// Save (archive rebuild and definition file) and the preload update of the main window.

#include "app/Messages.h"
#include "app/uMain.h"
#include "archive/EACompr.h"
#include "base/Exceptions.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "platform/FileSystem.h"

#include <vector>

const char* const PreloadArchiveNames[3] = {"faudio.viv", "gaudio.viv", "gaudiofa.viv"};

namespace {

const char* const kGameKey = "SOFTWARE\\EA SPORTS\\ORVIK";
const char* const kInstallDirValue = "Install Dir";

// Compares the letters A to Z without regard to case, every other byte exactly.
bool SameText(const std::string& A, const std::string& B) {
  if (A.size() != B.size())
    return false;
  for (size_t I = 0; I < A.size(); ++I) {
    char X = A[I] >= 'a' && A[I] <= 'z' ? static_cast<char>(A[I] - 32) : A[I];
    char Y = B[I] >= 'a' && B[I] <= 'z' ? static_cast<char>(B[I] - 32) : B[I];
    if (X != Y)
      return false;
  }
  return true;
}

std::vector<uint32_t> SampleOffsets(const TStreamPack& Pack) {
  std::vector<uint32_t> Offsets;
  for (int32_t I = 0; I < Pack.StreamCount(); ++I)
    for (int32_t J = 0; J < Pack.Streams(I)->SampleCount(); ++J)
      Offsets.push_back(Pack.Streams(I)->Samples(J)->FileOffset);
  return Offsets;
}

void DeleteIfPresent(const std::string& Path) {
  if (!Path.empty() && platform::IsFile(Path))
    platform::DeleteFile(Path);
}

void CopyFile(const std::string& Source, const std::string& Target) {
  TFileStream In(Source, TFileAccess::Read);
  TFileStream Out(Target, TFileAccess::Create);
  Out.CopyFrom(In, In.Size());
}

int FindEntry(const TEAStream& Archive, const std::string& Name) {
  for (int32_t I = 0; I < Archive.FileCount(); ++I)
    if (SameText(Archive.Files(I)->Name, Name))
      return I;
  return -1;
}

} // namespace

// ---- Save ----

void TfrmORVStreams::actFileSaveExecute() {
  TCursor Saved = FServices.Screen->Cursor();
  FServices.Screen->SetCursor(TCursor::HourGlass);
  struct Restore {
    TfrmORVStreams& Form;
    TCursor Cursor;
    ~Restore() {
      Form.StatusBar.SetText(L"");
      Form.FServices.Screen->SetCursor(Cursor);
    }
  } Finally{*this, Saved};
  SaveArchivesAndDefinition();
  if (FServices.MessageBoxes->Show(msg::UpdatePreload, L"", TMsgButtons::YesNo, TMsgIcon::Question) ==
      TMsgResult::Yes)
    actFileUpdatePreloadExecute();
}

void TfrmORVStreams::SaveArchivesAndDefinition() {
  if (FArchivesChanged) {
    StatusBar.SetText(msg::RebuildingArchives);
    std::vector<uint32_t> Before = SampleOffsets(*FPack);
    try {
      FPack->RebuildArchives();
    } catch (...) {
      // Archives replaced before the failure moved their samples: the definition file must follow them,
      // or it would point into archives that no longer hold those offsets.
      if (SampleOffsets(*FPack) != Before) {
        FPack->SaveToFile(DefinitionPath());
        FDefinitionChanged = false;
        FJournal.Forget();
      }
      throw;
    }
    FArchivesChanged = false;
    // Rebuilt archives cannot be put back; from here on the definition file must follow them.
    FJournal.Forget();
  }
  if (FDefinitionChanged) {
    FPack->SaveToFile(DefinitionPath());
    FDefinitionChanged = false;
  }
  FJournal.Forget();
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
  std::string DefPath = DefinitionPath();
  std::string DefName = ExtractFileName(DefPath);
  std::string Source = MakeTempFileName("~compr");
  try {
    if (!CompressFile(DefPath, Source)) {
      FServices.MessageBoxes->Show(msg::UnableToCompress, L"", TMsgButtons::OK, TMsgIcon::Error);
      Source = DefPath;
    }
    for (const char* Name : PreloadArchiveNames) {
      std::string ArchivePath = JoinPath(actFileUpdatePreloadDialog.Folder, Name);
      if (platform::IsFile(ArchivePath))
        UpdatePreloadArchive(ArchivePath, DefName, Source);
    }
  } catch (...) {
    if (!SameText(Source, DefPath))
      DeleteIfPresent(Source);
    throw;
  }
  if (!SameText(Source, DefPath) && platform::IsFile(Source))
    CheckOSError(platform::DeleteFile(Source));
}

void TfrmORVStreams::UpdatePreloadArchive(const std::string& ArchivePath, const std::string& DefName,
                                          const std::string& Source) {
  int Entry = -1;
  {
    TEAStream Archive;
    Archive.LoadFromFile(ArchivePath);
    Entry = FindEntry(Archive, DefName);
  }
  if (Entry < 0)
    return;
  // The entry is replaced in a scratch copy, which is then rebuilt; the archive itself changes only when
  // the rebuilt copy takes its place in one step.
  std::string Copy = MakeTempFileName("~viv");
  std::string Rebuilt;
  try {
    CopyFile(ArchivePath, Copy);
    TEAStream Work;
    Work.LoadFromFile(Copy);
    Work.Files(Entry)->LoadFromFile(Source);
    Rebuilt = MakeTempFileName("~viv");
    Work.SaveToFile(Rebuilt);
    CheckOSError(platform::ReplaceFile(Rebuilt, ArchivePath));
  } catch (...) {
    DeleteIfPresent(Copy);
    DeleteIfPresent(Rebuilt);
    throw;
  }
  CheckOSError(platform::DeleteFile(Copy));
}
