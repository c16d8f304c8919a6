// The soundtrack window from the View menu: the songs of the open definition with their loudness, and
// Match Loudness, each run of it one step of the edit history.

#include "app/LevelsWindow.h"
#include "app/uMain.h"

void TfrmORVStreams::actViewSoundtrackExecute() {
  if (!FPack || FServices.LevelsWindow == nullptr)
    return;
  if (PreviewPlaying())
    StopPreview();
  TLevelsWindow Window(*FPack, FReadOnly ? nullptr : FSession.get(), ConverterProcess());
  std::optional<TEditStep> Step;
  bool Changed = false;
  Window.OnSelectSample = [this](TSampleRef Ref) {
    SelectSample(FPack->Streams(Ref.Stream)->Samples(Ref.Sample));
  };
  Window.OnMatchStarts = [&] {
    KeepOriginalMusic();
    Step.emplace(*this, L"Match Loudness");
  };
  // Re-levelled songs are written in place of their entries, as an import in place writes them.
  Window.OnMatchEnds = [&](bool Wrote) {
    if (Wrote) {
      FDefinitionChanged = FArchivesChanged = Changed = true;
      FLoudness.Measured = false;
    }
    Step.reset();
  };
  try {
    FServices.LevelsWindow->ShowModal(Window);
    Window.StopAndWait();
  } catch (...) {
    Window.StopAndWait();
    throw;
  }
  // What the window measured of every song is the definition's loudness target for a batch import.
  if (Window.AllMeasured())
    FLoudness = {true, Window.Median()};
  if (Changed) {
    RebuildTree();
    // The selected sample's song may be another now: its details are shown afresh.
    treeFilesChange(treeFiles.Selected());
    StatusBar.SetText(Window.Status.Text());
  }
}
