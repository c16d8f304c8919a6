#pragma once
// What an import changed in the archive files since the definition was opened or last saved, so that
// closing without saving can put every archive back as it was: a definition file on disk must never be
// left pointing into archives that changed under it.
//
// A replace appends data and patches one directory record in place: it is undone by writing the old
// record back and cutting the file to its old length. An add rewrites the whole archive file: it is undone
// by putting back the file as it was before the first add, which the add itself keeps beside the archive
// ("<archive>.~undo", renamed, not copied) until the journal is undone or forgotten. Should that name be
// taken, a copy in the temporary folder ("~bak") serves instead.

#include "archive/uEAStream.h"

#include <map>
#include <string>
#include <vector>

class TImportJournal {
public:
  TImportJournal() = default;
  ~TImportJournal();
  TImportJournal(const TImportJournal&) = delete;
  TImportJournal& operator=(const TImportJournal&) = delete;

  // Call before Entry's data is replaced in place.
  void BeforeReplace(const TEAStreamFile& Entry);
  // Call before an entry is added to Archive (which rewrites its file), and AfterAdd after, whether the add
  // succeeded or failed.
  void BeforeAdd(TEAStream& Archive);
  void AfterAdd(TEAStream& Archive);
  // Where an add keeps the archive at Path as it was.
  static std::string UndoName(const std::string& Path) { return Path + ".~undo"; }

  bool Empty() const { return FArchives.empty(); }
  // Puts every archive file back as it was when the journal began, then forgets. Raises the file layer's
  // errors; what could not be undone stays in the journal.
  void Undo();
  // Keeps the archives as they are now (after a save) and deletes the kept copies. Returns the copies
  // that could not be deleted: they are harmless, and never restored.
  std::vector<std::string> Forget();

private:
  struct TRecord {
    uint32_t DirectoryPos, Offset, Size;
  };
  struct TArchiveChanges {
    int64_t OriginalLength = -1;  // length before the first in-place replace, -1: none
    std::vector<TRecord> Records; // records as they were before the first replace of each entry
    std::string Backup;           // copy of the file before the first add, empty: none
  };
  std::map<std::string, TArchiveChanges> FArchives; // by archive path
};
