#pragma once
// One import as the window, a batch, a pack and the command line make it: through the definition's import
// journal, which learns what is about to change before the archive changes.

#include "definitions/ImportJournal.h"
#include "definitions/uTypes.h"

#include <string>

// One import of the song in Converted (already in the archives' format) into Sample, through the import
// journal as a single import makes it: the journal first learns what is about to change, then the archive
// changes. AsNewFile: as a new entry EntryName of the sample's archive; else in place of the sample's
// entry ("The sample is bound to no file of its archive" when it has none). Source is the file the user
// chose, for the journal's note; Description the description the caller then gives the sample, noted so
// that a recovery can do the import again whole. Raises the archive's and the journal's errors.
void ImportThroughJournal(TImportJournal& Journal, TStreamData& Sample, bool AsNewFile,
                          const std::string& EntryName, const std::string& Source,
                          const std::string& Converted, const TImportDescription& Description = {});
