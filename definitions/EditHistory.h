#pragma once
// The edits made to an open definition since it was opened or last saved, as steps that can be taken back
// and made again, without limit but memory's.
//
// A step holds the definition's descriptions and samples as they were before and after it (states shared
// between neighbouring steps), the unsaved-change flags of both moments, the places to show, and the
// archive changes of its imports, which the import journal takes back and makes again (see
// definitions/ImportJournal.h). Every front end runs its edits inside Begin/End and binds Undo and Redo.

#include "definitions/ImportJournal.h"
#include "definitions/uTypes.h"

#include <memory>
#include <string>
#include <vector>

// One sample's binding and description, by position.
struct TSampleState {
  uint32_t FileOffset = 0;
  int32_t ArchiveIndex = 0, DescriptionIndex = 0;
  bool operator==(const TSampleState&) const = default;
};

// Everything of a definition that an edit changes, the archives' directories aside.
struct TDefinitionState {
  std::vector<TStreamDescription> Descriptions;
  std::vector<std::vector<TSampleState>> Streams;
  bool operator==(const TDefinitionState& Other) const;
};

TDefinitionState StateOf(const TStreamPack& Pack);
// Makes Pack's descriptions and samples those of State. Samples keep their objects by position: the
// sample at a place that both have is the same object afterwards. Raises the list error, changing
// nothing, when State has another number of streams.
void RestoreState(TStreamPack& Pack, const TDefinitionState& State);

// What a front end shows as unsaved.
struct TUnsavedFlags {
  bool Definition = false, Archives = false;
  bool operator==(const TUnsavedFlags&) const = default;
};

// Where a step is seen: a sample (Sample >= 0), a stream (Sample < 0), or nothing (Stream < 0).
struct TStepPlace {
  int32_t Stream = -1, Sample = -1;
};

// What an undo or redo leaves: the unsaved flags of that moment, and the place to show.
struct TStepOutcome {
  TUnsavedFlags Unsaved;
  TStepPlace Place;
};

class TEditHistory {
public:
  // Starts a step named Caption ("Delete Sample"), the definition as it is being its state before. A Begin
  // inside a step begun already belongs to that step. A step with a MergeKey right after an open step
  // with the same key (typing into one field) extends that step instead.
  void Begin(const TStreamPack& Pack, const TUnsavedFlags& Unsaved, const TStepPlace& Place,
             std::wstring Caption, std::string MergeKey = {});
  // Ends the outermost step. When the definition or an archive changed it goes on the history, and the
  // steps undone before it go; a merged step that ends where it began goes too. Journal, when given, hands
  // over the archive changes of the step's imports. Returns the unsaved flags to show: Unsaved, or those
  // from before a merged step that went.
  TUnsavedFlags End(const TStreamPack& Pack, const TUnsavedFlags& Unsaved, const TStepPlace& Place,
                    TImportJournal* Journal);
  bool InStep() const { return FDepth > 0; }
  // Ends the open typing step: the next typing is a step of its own.
  void Seal() { FSealed = true; }

  bool CanUndo() const { return !FDone.empty(); }
  bool CanRedo() const { return !FUndone.empty(); }
  // The caption of the step that Undo or Redo would take, empty when there is none.
  std::wstring UndoCaption() const;
  std::wstring RedoCaption() const;
  bool Empty() const { return FDone.empty() && FUndone.empty(); }

  // Takes the last step back: its archive changes through Journal (needed only by a step with archive
  // changes), the directories of those archives read again, then the definition as before it. On an error
  // the history ends, the directories are read again as the files are, and the error propagates.
  TStepOutcome Undo(TStreamPack& Pack, TImportJournal* Journal);
  // Makes the last step undone again, the same way.
  TStepOutcome Redo(TStreamPack& Pack, TImportJournal* Journal);
  // Forgets every step (after a save, at close and open).
  void Clear();

private:
  struct TStep {
    std::wstring Caption;
    std::string MergeKey;
    std::shared_ptr<const TDefinitionState> Before, After;
    TUnsavedFlags UnsavedBefore, UnsavedAfter;
    TStepPlace PlaceBefore, PlaceAfter;
    TImportStep Imports;
  };
  std::shared_ptr<const TDefinitionState> Shared(TDefinitionState State) const;
  // Takes the last step of one list over to the other, through Apply.
  TStepOutcome Move(TStreamPack& Pack, TImportJournal* Journal, bool Forward);
  TStepOutcome Apply(TStreamPack& Pack, TImportJournal* Journal, TStep& Step, bool Forward);

  std::vector<TStep> FDone, FUndone;
  TStep FOpen;
  int FDepth = 0;
  bool FMerging = false;
  bool FSealed = true;
};
