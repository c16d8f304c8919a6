#include "definitions/EditHistory.h"
#include "base/Exceptions.h"

#include <set>

bool TDefinitionState::operator==(const TDefinitionState& Other) const {
  if (Streams != Other.Streams || Descriptions.size() != Other.Descriptions.size())
    return false;
  // By their texts: the bytes after a field's end stay as a shorter text left them.
  for (size_t I = 0; I < Descriptions.size(); ++I) {
    const TStreamDescription &A = Descriptions[I], &B = Other.Descriptions[I];
    if (FieldText(A.Name) != FieldText(B.Name) || FieldText(A.Singer) != FieldText(B.Singer) ||
        FieldText(A.Album) != FieldText(B.Album))
      return false;
  }
  return true;
}

TDefinitionState StateOf(const TStreamPack& Pack) {
  TDefinitionState State;
  for (int32_t I = 0; I < Pack.DescriptionCount(); ++I)
    State.Descriptions.push_back(*Pack.Descriptions(I));
  for (int32_t I = 0; I < Pack.StreamCount(); ++I) {
    const TEAMusicStream& Stream = *Pack.Streams(I);
    std::vector<TSampleState>& Samples = State.Streams.emplace_back();
    for (int32_t J = 0; J < Stream.SampleCount(); ++J) {
      const TStreamData& Sample = *Stream.Samples(J);
      Samples.push_back({Sample.FileOffset, Sample.ArchiveIndex, Sample.DescriptionIndex});
    }
  }
  return State;
}

void RestoreState(TStreamPack& Pack, const TDefinitionState& State) {
  if (static_cast<size_t>(Pack.StreamCount()) != State.Streams.size())
    throw EListError(static_cast<int32_t>(State.Streams.size()));
  while (static_cast<size_t>(Pack.DescriptionCount()) > State.Descriptions.size())
    Pack.DeleteDescription(Pack.DescriptionCount() - 1);
  while (static_cast<size_t>(Pack.DescriptionCount()) < State.Descriptions.size())
    Pack.AddDescription("", "", "");
  for (size_t I = 0; I < State.Descriptions.size(); ++I)
    *Pack.Descriptions(static_cast<int32_t>(I)) = State.Descriptions[I];
  for (size_t I = 0; I < State.Streams.size(); ++I) {
    TEAMusicStream& Stream = *Pack.Streams(static_cast<int32_t>(I));
    const std::vector<TSampleState>& Samples = State.Streams[I];
    while (static_cast<size_t>(Stream.SampleCount()) > Samples.size())
      Stream.DeleteSample(Stream.SampleCount() - 1);
    while (static_cast<size_t>(Stream.SampleCount()) < Samples.size())
      Stream.AppendSample(std::make_unique<TStreamData>(&Stream));
    for (size_t J = 0; J < Samples.size(); ++J) {
      TStreamData& Sample = *Stream.Samples(static_cast<int32_t>(J));
      Sample.FileOffset = Samples[J].FileOffset;
      Sample.ArchiveIndex = Samples[J].ArchiveIndex;
      Sample.DescriptionIndex = Samples[J].DescriptionIndex;
    }
  }
}

// ---- the history ----

std::shared_ptr<const TDefinitionState> TEditHistory::Shared(TDefinitionState State) const {
  // Most steps begin where the last one ended: they share its state instead of holding a copy.
  if (!FDone.empty() && *FDone.back().After == State)
    return FDone.back().After;
  return std::make_shared<const TDefinitionState>(std::move(State));
}

void TEditHistory::Begin(const TStreamPack& Pack, const TUnsavedFlags& Unsaved, const TStepPlace& Place,
                         std::wstring Caption, std::string MergeKey) {
  if (FDepth++ > 0)
    return;
  FMerging =
      !MergeKey.empty() && !FSealed && FUndone.empty() && !FDone.empty() && FDone.back().MergeKey == MergeKey;
  FOpen = {};
  FOpen.Caption = std::move(Caption);
  FOpen.MergeKey = std::move(MergeKey);
  FOpen.Before = Shared(StateOf(Pack));
  FOpen.UnsavedBefore = Unsaved;
  FOpen.PlaceBefore = Place;
}

TUnsavedFlags TEditHistory::End(const TStreamPack& Pack, const TUnsavedFlags& Unsaved,
                                const TStepPlace& Place, TImportJournal* Journal) {
  if (FDepth == 0 || --FDepth > 0)
    return Unsaved;
  TStep Step = std::move(FOpen);
  FOpen = {};
  if (Journal != nullptr)
    Step.Imports = Journal->TakeStep();
  Step.After = Shared(StateOf(Pack));
  Step.UnsavedAfter = Unsaved;
  Step.PlaceAfter = Place;
  bool Changed = !(*Step.After == *Step.Before) || !Step.Imports.Empty();
  if (FMerging && Step.Imports.Empty()) {
    TStep& Last = FDone.back();
    Last.After = Step.After;
    Last.UnsavedAfter = Step.UnsavedAfter;
    Last.PlaceAfter = Step.PlaceAfter;
    if (*Last.After == *Last.Before && Last.Imports.Empty()) {
      TUnsavedFlags Before = Last.UnsavedBefore;
      FDone.pop_back();
      FSealed = true;
      return Before;
    }
    return Unsaved;
  }
  // A step that changed nothing is none, and leaves the open typing step open.
  if (!Changed)
    return Unsaved;
  FSealed = Step.MergeKey.empty();
  FUndone.clear();
  FDone.push_back(std::move(Step));
  return Unsaved;
}

std::wstring TEditHistory::UndoCaption() const {
  return FDone.empty() ? L"" : FDone.back().Caption;
}

std::wstring TEditHistory::RedoCaption() const {
  return FUndone.empty() ? L"" : FUndone.back().Caption;
}

TStepOutcome TEditHistory::Undo(TStreamPack& Pack, TImportJournal* Journal) {
  return Move(Pack, Journal, false);
}

TStepOutcome TEditHistory::Redo(TStreamPack& Pack, TImportJournal* Journal) {
  return Move(Pack, Journal, true);
}

TStepOutcome TEditHistory::Move(TStreamPack& Pack, TImportJournal* Journal, bool Forward) {
  std::vector<TStep>& From = Forward ? FUndone : FDone;
  std::vector<TStep>& To = Forward ? FDone : FUndone;
  TStep Step = std::move(From.back());
  From.pop_back();
  TStepOutcome Outcome = Apply(Pack, Journal, Step, Forward);
  To.push_back(std::move(Step));
  return Outcome;
}

TStepOutcome TEditHistory::Apply(TStreamPack& Pack, TImportJournal* Journal, TStep& Step, bool Forward) {
  FSealed = true;
  std::set<std::string> Touched;
  for (const TArchiveChange& Change : Step.Imports.Changes)
    Touched.insert(Change.Archive);
  auto Reload = [&] {
    for (int32_t I = 0; I < Pack.ArchiveCount(); ++I) {
      const std::string Path = Pack.Archives(I)->FileName; // a copy: the load clears the archive first
      if (Touched.count(Path) != 0)
        Pack.Archives(I)->LoadFromFile(Path);
    }
  };
  try {
    if (!Step.Imports.Empty()) {
      if (Journal == nullptr)
        throw Exception("The archives cannot be changed without the definition's journal");
      if (Forward)
        Journal->RedoStep(Step.Imports);
      else
        Journal->UndoStep(Step.Imports);
    }
    Reload();
  } catch (...) {
    Clear();
    try {
      Reload();
    } catch (const Exception&) {
      // The error that stopped the step is the one to tell.
    }
    throw;
  }
  RestoreState(Pack, Forward ? *Step.After : *Step.Before);
  if (Forward)
    return {Step.UnsavedAfter, Step.PlaceAfter};
  return {Step.UnsavedBefore, Step.PlaceBefore};
}

void TEditHistory::Clear() {
  FDone.clear();
  FUndone.clear();
  FOpen = {};
  FDepth = 0;
  FMerging = false;
  FSealed = true;
}
