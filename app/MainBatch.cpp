// Batch imports from the window: several files from the import dialog, or files and folders dropped on the
// tree, imported in the batch window.

#include "app/SoundtrackWindow.h"
#include "app/uMain.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "workflows/BatchPlan.h"
#include "workflows/FileOrder.h"

#include <map>

namespace {

int32_t StreamIndex(const TStreamPack& Pack, const TEAMusicStream* Stream) {
  for (int32_t I = 0; I < Pack.StreamCount(); ++I)
    if (Pack.Streams(I) == Stream)
      return I;
  return -1;
}

// Where the files dropped on Node, or chosen for its sample, go; with Append, after the last sample of its
// stream.
TBatchTarget TargetOf(const TStreamPack& Pack, TTreeNode* Node, bool Append) {
  TTreeNode* StreamNode = Node;
  while (StreamNode->Parent() != nullptr)
    StreamNode = StreamNode->Parent();
  const auto* Stream = static_cast<const TEAMusicStream*>(StreamNode->Data);
  TBatchTarget Target;
  Target.Stream = StreamIndex(Pack, Stream);
  if (Node->Level() == 2) {
    const auto* Sample = static_cast<const TStreamData*>(Node->Data);
    Target.StartSample = Stream->IndexOfSample(Sample);
    Target.AddArchive = Sample->ArchiveIndex;
  } else if (Node->Level() == 1) {
    const auto* Archive = static_cast<const TEAStream*>(Node->Data);
    Target.AddArchive = Pack.IndexOfArchive(Archive);
    Target.StartSample = Stream->SampleCount();
  } else if (Stream->SampleCount() == 0 && Pack.ArchiveCount() > 0) {
    Target.AddArchive = 0;
  }
  if (Append)
    Target.StartSample = Stream->SampleCount();
  return Target;
}

} // namespace

IConverterProcess& TfrmORVStreams::ConverterProcess() {
  if (FServices.ConverterProcess != nullptr)
    return *FServices.ConverterProcess;
  if (!FOwnConverterProcess)
    FOwnConverterProcess = std::make_unique<TSystemConverterProcess>(FServices.ProgramFolder);
  return *FOwnConverterProcess;
}

void TfrmORVStreams::ImportSongs(TTreeNode* Node, const std::vector<std::wstring>& Files, bool Append) {
  if (!FPack || Node == nullptr || Files.empty())
    return;
  TBatchTarget Target = TargetOf(*FPack, Node, Append);
  // The workflows name files in the editor's code page; a name it lacks goes by the file's short name.
  std::map<std::string, std::wstring> Names;
  std::vector<std::string> Narrow;
  for (const std::wstring& File : Files) {
    Narrow.push_back(platform::NarrowFileName(File));
    Names.emplace(Narrow.back(), File);
  }
  std::vector<std::string> Ordered = ExpandInputs(Narrow);
  std::vector<std::wstring> Shown;
  for (const std::string& File : Ordered) {
    auto Named = Names.find(File);
    Shown.push_back(Named != Names.end() ? Named->second : AnsiToWide(File));
  }
  std::vector<TPlannedSong> Plan = PlanBatch(*FPack, Target, Ordered);
  KeepOriginalMusic();
  if (PreviewPlaying())
    StopPreview();
  TEditStep Step(*this, L"Import of " + (Shown.size() == 1 ? ExtractFileName(Shown[0])
                                                           : std::to_wstring(Shown.size()) + L" Songs"));
  TBatchRun Run(*FPack, *FSession, std::move(Plan), Shown, ConverterProcess(), FLoudness, FServices);
  FServices.BatchWindow->ShowModal(Run);
  Run.StopAndWait();
  if (!Run.Started())
    return;
  // A batch that an error stopped has no result, but the songs it wrote before stay journaled: they are
  // unsaved changes like the others.
  if (Run.Result().ImportedCount() > 0 || Run.Error()) {
    FDefinitionChanged = true;
    FArchivesChanged = FArchivesChanged || Run.Result().Replaced || Run.Error();
  }
  // The songs' tags may have made new descriptions.
  FillDescriptions();
  RebuildTree();
  for (const TSongResult& Song : Run.Result().Songs)
    if (Song.State == TSongResult::Imported) {
      SelectSample(FPack->Streams(Song.Song.Stream)->Samples(Song.Song.Sample));
      break;
    }
  // What the batch did, and what keeping the original music before it said.
  StatusBar.SetText(Run.Status.Text() + (FPendingStatus.empty() ? L"" : L" " + FPendingStatus));
  FPendingStatus.clear();
  if (Run.Error())
    std::rethrow_exception(Run.Error());
}

void TfrmORVStreams::treeFilesDropFiles(TTreeNode* Node, const std::vector<std::wstring>& Paths) {
  if (!FPack || Node == nullptr || Paths.empty())
    return;
  treeFiles.Select(Node);
  bool OneFile = Paths.size() == 1 && platform::IsFile(Paths[0]);
  if (OneFile && Node->Level() == 2) {
    actSampleImportDialog.FileName = Paths[0];
    actSampleImportAccept(&actSampleImport);
    return;
  }
  ImportSongs(Node, Paths);
}

void TfrmORVStreams::actFileExportSoundtrackExecute() {
  if (!FPack)
    return;
  TFolderDialogState Dialog = actFileExportSoundtrackDialog;
  if (Dialog.Folder.empty()) // beside the definition
    Dialog.Folder = JoinPath(ExtractFilePath(DefinitionPath()), "Soundtrack");
  if (!FServices.Dialogs->BrowseForFolder(Dialog))
    return;
  actFileExportSoundtrackDialog.Folder = Dialog.Folder;
  if (PreviewPlaying())
    StopPreview();
  TSoundtrackRun Run(*FPack, ConverterProcess(), Dialog.Folder,
                     [this](const std::vector<std::string>& Names) {
                       std::wstring Text = std::to_wstring(Names.size()) +
                                           L" of the files are in the folder already, among them \"" +
                                           AnsiToWide(Names[0]) + L"\". Replace them?";
                       return FServices.MessageBoxes->Show(Text, msg::ApplicationTitle, TMsgButtons::YesNo,
                                                           TMsgIcon::Question) == TMsgResult::Yes;
                     });
  FServices.BatchWindow->ShowModal(Run);
  Run.StopAndWait();
  if (!Run.Started())
    return;
  StatusBar.SetText(Run.Status.Text());
  if (Run.Error())
    std::rethrow_exception(Run.Error());
}
