#include "app/uMain.h"
#include "app/Messages.h"
#include "base/Exceptions.h"
#include "base/Paths.h"
#include "base/ScopeGuard.h"
#include "base/Text.h"
#include "platform/FileSystem.h"
#include "workflows/KeptOriginals.h"

namespace {

constexpr int kSampleLevel = 2;

bool IsSampleNode(const TTreeNode* Node) {
  return Node != nullptr && Node->Level() == kSampleLevel;
}

std::wstring FileNamePart(const std::string& Path) {
  return AnsiToWide(ExtractFileName(Path));
}

} // namespace

TfrmORVStreams::TfrmORVStreams(const TServices& Services) : FServices(Services) {
  BindControls();
  TntFormCreate();
}

TfrmORVStreams::~TfrmORVStreams() {
  // The picture's thread may be running the converter, which goes with this window.
  picSong.Stop();
}

void TfrmORVStreams::BindControls() {
  treeFiles.OnChange = [this](TTreeNode* Node) { treeFilesChange(Node); };
  edtSinger.OnChange = [this] { edtSingerChange(); };
  edtAlbum.OnChange = [this] { edtAlbumChange(); };
  edtName.OnChange = [this] { edtNameChange(); };
  for (TEditModel* Edit : {&edtSinger, &edtAlbum, &edtName})
    Edit->OnExit = [this] { edtDescriptionExit(); };
  cmbDescriptions.OnChange = [this] { cmbDescriptionsChange(); };
  cmbStreams.OnChange = [this] { cmbStreamsChange(); };
  cmbFiles.OnChange = [this] { cmbFilesChange(); };
  actFileOpenDialog.Filter = L"streams.dat|streams.dat|All Files (*.*)|*.*";
  actFileOpenDialog.FilterIndex = 1;
  actFileUpdatePreloadDialog.Caption = msg::PreloadDialogCaption;
  actFileExportSoundtrackDialog.Caption = L"Choose the folder for the soundtrack's songs and playlists:";
  actFileExportSoundtrackDialog.MayBeNew = true;
  actHelpContents.SetEnabled(false);
  actHelpWhatsThis.SetEnabled(false);
}

void TfrmORVStreams::TntFormCreate() {
  FPack.reset();
  FDefinitionChanged = false;
  FArchivesChanged = false;
  FUpdatingDetails = false;
  treeFilesChange(treeFiles.Selected());
}

bool TfrmORVStreams::TntFormCloseQuery() {
  return CloseDefinition();
}

// ---- definition ----

void TfrmORVStreams::actFileOpenExecute() {
  TFileDialogState Dialog = actFileOpenDialog;
  if (!FServices.Dialogs->ExecuteOpen(Dialog))
    return;
  actFileOpenDialog = Dialog;
  actFileOpenAccept();
}

void TfrmORVStreams::actFileOpenAccept() {
  if (!CloseDefinition())
    return;
  // Nothing the last definition's work said stays under the next one.
  StatusBar.SetText(L"");
  FPendingStatus.clear();
  FUnderHint.clear();
  std::string Path = WideToAnsi(actFileOpenDialog.FileName);
  if (IsInKeptFolder(Path)) {
    OpenKeptCopy(Path);
    return;
  }
  // Locked and recovered before anything is read: a process that died may have left the files mid-change.
  auto Session = std::make_unique<TDefinitionSession>(Path);
  TRecoveryReport Report = Session->Open();
  FPack = std::make_unique<TStreamPack>(ExtractFilePath(Path));
  try {
    FPack->LoadFromFile(Path);
  } catch (...) {
    // A partly read definition is not kept: nothing may show objects of a definition that is not open.
    FPack.reset();
    ClearControls();
    TImportJournal::DiscardKept(Report.Imports);
    Session->Close();
    throw;
  }
  FSession = std::move(Session);
  FDefinitionPath = Path;
  FOriginalKept = TKeptOriginals(Path, DefaultPreloadFolder(Path)).State() == TKeptState::Kept;
  FillDescriptions();
  FillArchives();
  RebuildTree();
  ReportRecovery(Report);
  EndHistory();
}

std::string TfrmORVStreams::DefinitionPath() const {
  return FDefinitionPath;
}

bool TfrmORVStreams::CloseDefinition() {
  // The kept copy is never saved: what was edited in it goes without a question.
  if ((FDefinitionChanged || FArchivesChanged) && !FReadOnly) {
    TMsgResult Answer =
        FServices.MessageBoxes->Show(msg::SaveChanges, L"", TMsgButtons::YesNoCancel, TMsgIcon::Question);
    if (Answer == TMsgResult::Cancel)
      return false;
    if (Answer == TMsgResult::Yes)
      actFileSaveExecute();
  }
  std::unique_ptr<TDefinitionSession> Session = std::move(FSession);
  if (PreviewPlaying())
    StopPreview();
  ClearControls();
  picSong.Forget();
  FPack.reset();
  EndHistory();
  FLoudness = {};
  FOriginalKept = false;
  FReadOnly = false;
  FDefinitionChanged = false;
  FArchivesChanged = false;
  // Whatever an import wrote into the archives since the last save goes, with the unsaved definition. The
  // definition is closed first: should the rollback fail, the model no longer matches the files, and the
  // journal stays for the next open to finish it.
  if (Session)
    Session->Close();
  return true;
}

// The nodes and items point into the definition: none may outlive it, or the next tree could match a
// freed object.
void TfrmORVStreams::ClearControls() {
  treeFiles.Clear();
  cmbDescriptions.Clear();
  cmbStreams.Clear();
  cmbFiles.Clear();
  treeFiles.Select(nullptr);
}

void TfrmORVStreams::RebuildTree() {
  if (!FPack)
    return;
  void* Selected = treeFiles.Selected() != nullptr ? treeFiles.Selected()->Data : nullptr;
  TTreeNode* Reselect = nullptr;
  treeFiles.BeginUpdate();
  treeFiles.Clear();
  try {
    Reselect = FillTree(Selected);
  } catch (...) {
    treeFiles.EndUpdate();
    treeFiles.Select(nullptr);
    throw;
  }
  treeFiles.EndUpdate();
  treeFiles.Select(Reselect);
}

TTreeNode* TfrmORVStreams::FillTree(void* Selected) {
  TTreeNode* Reselect = nullptr;
  auto Remember = [&](TTreeNode* Node) {
    if (Node->Data == Selected)
      Reselect = Node;
  };
  for (int32_t I = 0; I < FPack->StreamCount(); ++I) {
    TEAMusicStream* Stream = FPack->Streams(I);
    TTreeNode* StreamNode = treeFiles.AddChild(nullptr, L"Stream " + std::to_wstring(I), Stream);
    Remember(StreamNode);
    for (int32_t J = 0; J < Stream->SampleCount(); ++J) {
      TStreamData* Sample = Stream->Samples(J);
      bool Bound = Sample->ArchiveIndex >= 0 && Sample->ArchiveIndex < FPack->ArchiveCount();
      TEAStreamFile* File = Bound ? Sample->StreamFile() : nullptr;
      if (File == nullptr) {
        treeFiles.Clear();
        FDefinitionChanged = false;
        FArchivesChanged = false;
        CloseDefinition();
        throw EStreamSyncException(msg::CorruptDefinition);
      }
      TEAStream* Archive = Sample->Archive();
      TTreeNode* ArchiveNode = nullptr;
      for (int K = 0; K < StreamNode->Count() && ArchiveNode == nullptr; ++K)
        if (StreamNode->Item(K)->Data == Archive)
          ArchiveNode = StreamNode->Item(K);
      if (ArchiveNode == nullptr)
        ArchiveNode = treeFiles.AddChild(StreamNode, FileNamePart(Archive->FileName), Archive);
      Remember(ArchiveNode);
      Remember(treeFiles.AddChild(ArchiveNode, AnsiToWide(File->Name), Sample));
    }
  }
  return Reselect;
}

void TfrmORVStreams::SelectSample(const TStreamData* Sample) {
  for (TTreeNode* Node : treeFiles.AllNodes())
    if (IsSampleNode(Node) && Node->Data == Sample) {
      treeFiles.Select(Node);
      return;
    }
}

void TfrmORVStreams::treeFilesChange(TTreeNode* Node) {
  if (!FPack || !IsSampleNode(Node) || Node->Data == nullptr) {
    pnlDetails.SetVisible(false);
    picSong.Hide();
    return;
  }
  ShowSampleDetails(static_cast<TStreamData*>(Node->Data));
  picSong.Show(static_cast<TStreamData*>(Node->Data)->StreamFile());
}

void TfrmORVStreams::ShowSampleDetails(TStreamData* Sample) {
  {
    FUpdatingDetails = true;
    TScopeGuard Done([this] { FUpdatingDetails = false; });
    pnlDetails.SetVisible(true);
    if (Sample->DescriptionIndex < 0) {
      cmbDescriptions.SetItemIndex(0);
      grpDescription.SetVisible(false);
    } else {
      grpDescription.SetVisible(true);
      cmbDescriptions.SetItemIndex(Sample->DescriptionIndex + 1);
      TStreamDescription* Description = Sample->Description();
      edtSinger.SetText(AnsiToWide(FieldText(Description->Singer)));
      edtAlbum.SetText(AnsiToWide(FieldText(Description->Album)));
      edtName.SetText(AnsiToWide(FieldText(Description->Name)));
    }
  }
  cmbStreams.SetItemIndex(Sample->ArchiveIndex);
  FillFiles(Sample->ArchiveIndex);
  cmbFiles.SetItemIndex(cmbFiles.IndexOfObject(Sample->StreamFile()));
}

void TfrmORVStreams::FillDescriptions() {
  if (!FPack)
    return;
  cmbDescriptions.BeginUpdate();
  TScopeGuard Resume([this] { cmbDescriptions.EndUpdate(); });
  cmbDescriptions.Clear();
  cmbDescriptions.Add(msg::NoDescription);
  for (int32_t I = 0; I < FPack->DescriptionCount(); ++I) {
    TStreamDescription* Description = FPack->Descriptions(I);
    cmbDescriptions.Add(AnsiToWide(FieldText(Description->Singer)) + L": " +
                        AnsiToWide(FieldText(Description->Name)));
  }
}

void TfrmORVStreams::FillArchives() {
  if (!FPack)
    return;
  cmbStreams.BeginUpdate();
  TScopeGuard Resume([this] { cmbStreams.EndUpdate(); });
  cmbStreams.Clear();
  for (int32_t I = 0; I < FPack->ArchiveCount(); ++I)
    cmbStreams.Add(FileNamePart(FPack->Archives(I)->FileName));
}

void TfrmORVStreams::FillFiles(int ArchiveIndex) {
  if (!FPack)
    return;
  cmbFiles.BeginUpdate();
  TScopeGuard Resume([this] { cmbFiles.EndUpdate(); });
  cmbFiles.Clear();
  TEAStream* Archive = FPack->Archives(ArchiveIndex);
  for (int32_t I = 0; I < Archive->FileCount(); ++I)
    cmbFiles.Add(FileNamePart(Archive->Files(I)->Name), Archive->Files(I));
}

// ---- details ----

TStreamData* TfrmORVStreams::SelectedSample() const {
  TTreeNode* Node = treeFiles.Selected();
  return IsSampleNode(Node) ? static_cast<TStreamData*>(Node->Data) : nullptr;
}

void TfrmORVStreams::StoreDescriptionField(TDescriptionField TStreamDescription::*Field,
                                           const wchar_t* FieldName, const TEditModel& Edit, bool Refill) {
  if (FUpdatingDetails)
    return;
  TStreamData* Sample = SelectedSample();
  TStreamDescription* Description = Sample != nullptr ? Sample->Description() : nullptr;
  if (Description == nullptr)
    return;
  // Typing into one field of one description is one step until the focus leaves it.
  TEditStep Step(*this, std::wstring(L"Typing in ") + FieldName,
                 WideToAnsi(FieldName) + ":" + std::to_string(Sample->DescriptionIndex));
  SetFieldText(Description->*Field, WideToAnsi(Edit.Text()));
  FDefinitionChanged = true;
  if (Refill) {
    FillDescriptions();
    treeFilesChange(treeFiles.Selected());
  }
}

void TfrmORVStreams::edtSingerChange() {
  StoreDescriptionField(&TStreamDescription::Singer, L"Singer", edtSinger, true);
}

void TfrmORVStreams::edtAlbumChange() {
  StoreDescriptionField(&TStreamDescription::Album, L"Album", edtAlbum, false);
}

void TfrmORVStreams::edtNameChange() {
  StoreDescriptionField(&TStreamDescription::Name, L"Name", edtName, true);
}

void TfrmORVStreams::cmbDescriptionsChange() {
  TStreamData* Sample = SelectedSample();
  if (Sample == nullptr || cmbDescriptions.ItemIndex() < 0)
    return;
  TEditStep Step(*this, L"Choice of Description");
  Sample->DescriptionIndex = cmbDescriptions.ItemIndex() - 1;
  FDefinitionChanged = true;
  treeFilesChange(treeFiles.Selected());
}

void TfrmORVStreams::btnDescrAddClick() {
  if (!FPack)
    return;
  std::wstring Name = msg::NewDescriptionDefault;
  if (!FServices.InputQuery->Query(msg::NewDescriptionCaption, msg::NewDescriptionPrompt, Name))
    return;
  TEditStep Step(*this, L"Add Description");
  FPack->AddDescription(" ", " ", WideToAnsi(Name));
  FillDescriptions();
  treeFilesChange(treeFiles.Selected());
}

void TfrmORVStreams::btnDescRemoveClick() {
  if (cmbDescriptions.ItemIndex() == 0) {
    FServices.MessageBoxes->Show(msg::CannotRemoveDescription, L"", TMsgButtons::OK, TMsgIcon::Warning);
    return;
  }
  if (!FPack)
    return;
  if (FServices.MessageBoxes->Show(msg::ConfirmDeleteDescription, L"", TMsgButtons::YesNo,
                                   TMsgIcon::Question) != TMsgResult::Yes)
    return;
  TEditStep Step(*this, L"Remove Description");
  FPack->DeleteDescription(cmbDescriptions.ItemIndex() - 1);
  FillDescriptions();
  treeFilesChange(treeFiles.Selected());
}

void TfrmORVStreams::cmbStreamsChange() {
  TEditStep Step(*this, L"Choice of Archive");
  FillFiles(cmbStreams.ItemIndex());
  if (cmbFiles.Count() > 0) {
    cmbFiles.SetItemIndex(0);
    cmbFilesChange();
  }
}

void TfrmORVStreams::cmbFilesChange() {
  TStreamData* Sample = SelectedSample();
  if (!FPack || Sample == nullptr)
    return;
  TEditStep Step(*this, L"Choice of Sample File");
  Sample->SetStreamFile(FPack->Archives(cmbStreams.ItemIndex())->Files(cmbFiles.ItemIndex()));
  RebuildTree();
  FDefinitionChanged = true;
}

void TfrmORVStreams::btnRemoveFileClick() {
  throw Exception(msg::NotYetImplemented);
}

// ---- samples ----

TEAMusicStream* TfrmORVStreams::StreamOfSelectedNode() const {
  TTreeNode* Node = treeFiles.Selected();
  while (Node->Parent() != nullptr)
    Node = Node->Parent();
  return static_cast<TEAMusicStream*>(Node->Data);
}

void TfrmORVStreams::actStreamAddSampleExecute() {
  if (treeFiles.Selected() == nullptr || !FPack)
    return;
  TEAStreamFile* First = FPack->Archives(0)->Files(0);
  TEditStep Step(*this, L"Add Sample");
  StreamOfSelectedNode()->AddSample(First);
  FDefinitionChanged = true;
  RebuildTree();
}

void TfrmORVStreams::actStreamDeleteSampleExecute() {
  TStreamData* Sample = SelectedSample();
  if (!FPack || Sample == nullptr)
    return;
  TEAMusicStream* Stream = StreamOfSelectedNode();
  TEditStep Step(*this, L"Delete Sample");
  // Deselect first: the freed sample must not be looked for when the tree is rebuilt.
  treeFiles.Select(nullptr);
  Stream->RemoveSample(Sample);
  FDefinitionChanged = true;
  RebuildTree();
}

// ---- idle and hints ----

void TfrmORVStreams::ApplicationEventsIdle() {
  bool OnSample = IsSampleNode(treeFiles.Selected());
  for (TActionModel* Action : {&actSamplePreview, &actSampleImport, &actSampleExport, &actStreamDeleteSample})
    Action->SetEnabled(OnSample);
  actSampleImport.SetEnabled(OnSample && !FReadOnly);
  actFileSave.SetEnabled((FDefinitionChanged || FArchivesChanged) && !FReadOnly);
  actFileUpdatePreload.SetEnabled(!FReadOnly);
  actFileRestoreOriginal.SetEnabled(FPack && FOriginalKept && !FReadOnly);
  bool Editable = FPack != nullptr && !FHistory.InStep();
  actEditUndo.SetEnabled(Editable && FHistory.CanUndo());
  actEditUndo.SetCaption(FHistory.CanUndo() ? L"Undo " + FHistory.UndoCaption() : L"Undo");
  actEditRedo.SetEnabled(Editable && FHistory.CanRedo());
  actEditRedo.SetCaption(FHistory.CanRedo() ? L"Redo " + FHistory.RedoCaption() : L"Redo");
  if (!FPendingStatus.empty()) {
    StatusBar.SetText(FPendingStatus);
    FPendingStatus.clear();
  }
  actFileExportPack.SetEnabled(FPack != nullptr);
  actFileApplyPack.SetEnabled(FPack != nullptr && !FReadOnly);
  actFileExportSoundtrack.SetEnabled(FPack != nullptr);
  actViewSoundtrack.SetEnabled(FPack != nullptr);
  actStreamAddSample.SetEnabled(treeFiles.Selected() != nullptr);
  actStreamImportSongs.SetEnabled(treeFiles.Selected() != nullptr && !OnSample && !FReadOnly);
}

// A hint covers the status bar's message for as long as it shows; the message comes back after it, unless
// something newer was said meanwhile.
void TfrmORVStreams::ApplicationEventsHint(const std::wstring& Hint) {
  size_t Bar = Hint.find(L'|');
  std::wstring Text = Bar == std::wstring::npos ? Hint : Hint.substr(Bar + 1);
  bool Said = !FHintShown || StatusBar.Text() != *FHintShown;
  if (Text.empty()) {
    StatusBar.SetText(Said ? StatusBar.Text() : FUnderHint);
    FHintShown.reset();
    return;
  }
  if (Said)
    FUnderHint = StatusBar.Text();
  StatusBar.SetText(Text);
  FHintShown = Text;
}
