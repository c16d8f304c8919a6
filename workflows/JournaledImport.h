#pragma once
// One import as the window, a batch, a pack and the command line make it: through the definition's import
// journal, which learns what is about to change before the archive changes.

#include "definitions/ImportJournal.h"
#include "definitions/uTypes.h"

#include <string>
#include <vector>

// One import of the song in Converted (already in the archives' format) into Sample, through the import
// journal as a single import makes it: the journal first learns what is about to change, then the archive
// changes. AsNewFile: as a new entry EntryName of the sample's archive; else in place of the sample's
// entry ("The sample is bound to no file of its archive" when it has none). Source is the file the user
// chose, for the journal's note; Description the description the caller then gives the sample, noted so
// that a recovery can do the import again whole. TakeConverted: Converted is a scratch file the caller
// lets go, which the journal keeps by moving it where it can (it is then gone from its place). Raises the
// archive's and the journal's errors.
void ImportThroughJournal(TImportJournal& Journal, TStreamData& Sample, bool AsNewFile,
                          const std::string& EntryName, const std::string& Source,
                          const std::string& Converted, const TImportDescription& Description = {},
                          bool TakeConverted = false);

// One song of AddThroughJournal: as ImportThroughJournal's arguments for an add.
struct TJournaledAdd {
  TStreamData* Sample = nullptr;
  std::string EntryName, Source, Converted;
  TImportDescription Description;
  bool TakeConverted = false;
};

// Adds the songs of Adds as new entries of the archive at ArchiveIndex of Pack in one rebuild of its file,
// journaled as ImportThroughJournal journals an add: each import is noted, then the archive learns of the
// change once. Every sample of that archive follows its entry, and each sample of Adds (whose ArchiveIndex
// is ArchiveIndex) is bound to its new entry. Raises, before anything changes, the list error for a sample
// of the pack whose archive index lies outside the archive list; then the archive's and the journal's errors,
// with the archive and every sample as they were.
void AddThroughJournal(TImportJournal& Journal, TStreamPack& Pack, int32_t ArchiveIndex,
                       const std::vector<TJournaledAdd>& Adds);
