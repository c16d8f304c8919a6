#pragma once
// The preload update: the game reads a RefPack-compressed copy of its definition from each of the
// preload archives in its preload folder, as the entry named like the definition file.

#include "definitions/uTypes.h"

#include <functional>
#include <string>
#include <vector>

// The names of the game's preload archives, relative to the preload folder.
extern const char* const PreloadArchiveNames[3];

// What an update did.
struct TPreloadOutcome {
  // The preload archives that the folder holds, and those that received the definition; names from
  // PreloadArchiveNames, in its order.
  std::vector<std::string> Found;
  std::vector<std::string> Updated;
};

// Puts the definition file at DefPath, compressed, in place of the entry of its name (letters compared
// without regard to case) in every preload archive of Folder that exists. When the definition cannot be
// compressed, Uncompressed is called and the file goes in as it is. Each archive is rebuilt beside itself
// and replaces the old one in one step; an archive without such an entry is left alone. Progress is
// told the bytes copied of each archive's rebuild. Raises the archive and file layer's errors; archives
// updated before the failing one stay updated. Returns the archives found and those updated. Each rebuilt
// copy is flushed before it takes its archive's place, and the folder after; each copy is recorded before
// it is made in the folder's own journal (PreloadJournalPath), which is recovered first, so that a copy
// a dying process left behind is deleted by the next update.
TPreloadOutcome UpdatePreloadFolder(const std::string& DefPath, const std::string& Folder,
                                    const std::function<void()>& Uncompressed,
                                    const TRebuildProgress& Progress = {});

// The journal of the changes to the preload archives of Folder, which lies beside them ("preload.~journal"),
// and what it may name: those archives.
std::string PreloadJournalPath(const std::string& Folder);
TJournalScope PreloadScope();
