#pragma once
// A batch import: the songs of a plan, each trimmed and faded as its plan says, converted in parallel (one
// converter per processor, each going on with the next songs while an earlier one is awaited), each matched
// to a loudness target when there is one, and written into the definition's archives in the plan's order,
// each through the definition's import journal as a single import is. Songs that become new entries of an
// archive go in together, in groups as large as what the batch added to that archive before, since each
// add rewrites the whole archive file. The definition itself is not saved here: the caller saves once at
// the end (or discards, which undoes every import of the batch).

#include "definitions/DefinitionSession.h"
#include "definitions/uTypes.h"
#include "workflows/BatchPlan.h"
#include "workflows/Converter.h"

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct TSongResult {
  enum TState { Imported, Failed, Cancelled } State = Cancelled;
  TPlannedSong Song;                    // where it went (stream, sample, archive)
  std::string Entry;                    // the entry that holds it now
  std::string Failure;                  // when failed: the converter's reason
  std::optional<double> LoudnessBefore; // integrated, LUFS; none for silence or when not measured
  std::optional<double> Gain;           // applied, dB; none without matching
  bool HeldBack = false;                // the true-peak limit kept the gain below the one asked
  int32_t Description = -1;
  bool NewDescription = false;
  std::string Lost; // characters of the tags the code page lacks (UTF-8)
  bool Cut = false; // a tag was cut to 63 characters
};

// What a song of a batch is going through. Convert: one converter run reads its tags and converts it,
// measuring it too when matching loudness. Ready: converted, a new entry waiting for the rest of its group
// to be written with it.
enum class TSongStep { Convert, Ready, Write };

struct TBatchOptions {
  std::optional<double> Target; // the loudness to match (LUFS); none: songs keep their level
  unsigned Workers = 0;         // converters at a time; 0: one per processor
  // Read between songs: once set, no song starts converting, and the songs in hand (those converting
  // or converted already) are finished, written in order; the rest are left as cancelled.
  const std::atomic<bool>* Cancel = nullptr;
  // Called on the calling thread after each song, in the plan's order, with its position and the plan's
  // length; for the songs of a group of new entries, together once the group is written.
  std::function<void(const TSongResult& Song, size_t Index, size_t Count)> SongDone;
  // Called as song Index enters each step: Ready and Write on the calling thread, the others on the worker
  // threads, several at once.
  std::function<void(size_t Index, TSongStep Step)> SongStep;
};

struct TBatchResult {
  std::vector<TSongResult> Songs; // one per planned song, in the plan's order
  bool Cancelled = false;
  bool Replaced = false; // some entry's data was replaced in place: a save should rebuild the archives
  size_t ImportedCount() const;
};

// Runs the plan on Pack, whose definition Session holds. A song the converter cannot read or convert is
// listed as failed with the converter's reason and the batch goes on; what was imported before a cancel,
// and the songs in hand when it came, stay (journaled). Raises, after the workers have stopped and with every
// scratch file gone, the errors of writing an archive and of starting the converter; the songs imported
// before stay journaled.
TBatchResult ImportBatch(TStreamPack& Pack, TDefinitionSession& Session,
                         const std::vector<TPlannedSong>& Plan, TConverter& Converter,
                         const TBatchOptions& Options);
