// Undo and Redo of the main window: the edit history's steps around the handlers that change the
// definition, and the Edit menu's two actions.

#include "app/Messages.h"
#include "app/uMain.h"

TfrmORVStreams::TEditStep::TEditStep(TfrmORVStreams& Form, std::wstring Caption, std::string MergeKey)
    : FForm(Form) {
  if (!Form.FPack)
    return;
  Form.FHistory.Begin(*Form.FPack, {Form.FDefinitionChanged, Form.FArchivesChanged}, Form.SelectedPlace(),
                      std::move(Caption), std::move(MergeKey));
  FBegun = true;
}

TfrmORVStreams::TEditStep::~TEditStep() {
  if (!FBegun)
    return;
  TfrmORVStreams& F = FForm;
  try {
    if (!F.FPack) { // the handler closed the definition
      F.FHistory.Clear();
      return;
    }
    TUnsavedFlags Unsaved = F.FHistory.End(*F.FPack, {F.FDefinitionChanged, F.FArchivesChanged},
                                           F.SelectedPlace(), F.FSession ? &F.FSession->Imports : nullptr);
    F.FDefinitionChanged = Unsaved.Definition;
    F.FArchivesChanged = Unsaved.Archives;
  } catch (...) {
    // Without memory for the step the history cannot go on truthfully.
    F.FHistory.Clear();
  }
}

TStepPlace TfrmORVStreams::SelectedPlace() const {
  TStepPlace Place;
  TTreeNode* Node = treeFiles.Selected();
  if (Node == nullptr || !FPack)
    return Place;
  TTreeNode* StreamNode = Node;
  while (StreamNode->Parent() != nullptr)
    StreamNode = StreamNode->Parent();
  for (int32_t I = 0; I < FPack->StreamCount(); ++I)
    if (FPack->Streams(I) == StreamNode->Data)
      Place.Stream = I;
  if (Place.Stream >= 0 && Node->Level() == 2)
    Place.Sample = FPack->Streams(Place.Stream)->IndexOfSample(static_cast<TStreamData*>(Node->Data));
  return Place;
}

void TfrmORVStreams::ShowPlace(const TStepPlace& Place) {
  if (Place.Stream < 0 || Place.Stream >= FPack->StreamCount())
    return;
  TEAMusicStream* Stream = FPack->Streams(Place.Stream);
  if (Place.Sample >= 0 && Place.Sample < Stream->SampleCount()) {
    SelectSample(Stream->Samples(Place.Sample));
    return;
  }
  for (TTreeNode* Node : treeFiles.AllNodes())
    if (Node->Level() == 0 && Node->Data == Stream)
      treeFiles.Select(Node);
}

void TfrmORVStreams::ShowStepOutcome(const TStepOutcome& Outcome) {
  FDefinitionChanged = Outcome.Unsaved.Definition;
  FArchivesChanged = Outcome.Unsaved.Archives;
  FillDescriptions();
  RebuildTree();
  ShowPlace(Outcome.Place);
  // The selected sample may be the same object with other data: its details are shown afresh.
  treeFilesChange(treeFiles.Selected());
}

void TfrmORVStreams::EndHistory() {
  FHistory.Clear();
  if (FSession)
    FSession->Imports.TakeStep();
}

void TfrmORVStreams::edtDescriptionExit() {
  FHistory.Seal();
}

void TfrmORVStreams::actEditUndoExecute() {
  if (FPack && FHistory.CanUndo())
    MoveInHistory(false);
}

void TfrmORVStreams::actEditRedoExecute() {
  if (FPack && FHistory.CanRedo())
    MoveInHistory(true);
}

void TfrmORVStreams::MoveInHistory(bool Forward) {
  if (PreviewPlaying())
    StopPreview();
  TImportJournal* Journal = FSession ? &FSession->Imports : nullptr;
  TStepOutcome Outcome;
  try {
    Outcome = Forward ? FHistory.Redo(*FPack, Journal) : FHistory.Undo(*FPack, Journal);
  } catch (...) {
    // The archives' directories are read as the files are now; the tree shows them, or closes a
    // definition that no longer matches them (the journal then puts the files back as at the last save).
    RebuildTree();
    throw;
  }
  ShowStepOutcome(Outcome);
}
