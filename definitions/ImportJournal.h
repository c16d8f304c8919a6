#pragma once
// What an import changes in the archive files before the definition is saved, described to the write
// journal before the change is made, so that a discard, a crash or a power cut never leaves a definition
// on disk pointing into archives that changed under it.
//
// A replace appends data and patches one directory record in place: the journal keeps the archive's
// length and the record's old bytes. An add rewrites the whole archive file: the first add of a
// transaction keeps the file as it was under a backup name ("<archive>.~undo", or the first free
// "<archive>.~undoN"), renamed, not copied; later adds replace the file outright, since rolling back
// restores that backup. Each import also keeps a copy of the converted song in the temporary folder and
// notes which sample it was for and the description it gave the sample, so that after a rollback the
// imports can be done again as they were. The kept songs live in the definition's songs folder
// ("<definition>.~songs", beside it), which goes with the last of them.

#include "archive/uEAStream.h"
#include "base/WriteJournal.h"

#include <set>
#include <string>
#include <vector>

class TStreamData;

// The description an import gives its sample (texts in the definition's code page, at most 63 bytes).
struct TImportDescription {
  bool Set = false; // false: the import leaves the sample's description as it is
  std::string Name, Singer, Album;
};

// One import, as noted in the journal.
struct TImportRecord {
  bool AsNewFile = false;
  int32_t Stream = 0, Sample = 0;
  std::string EntryName;  // the new entry's name, for an add
  std::string Source;     // the file the user imported
  std::string SourceName; // its own name, UTF-8 (Source may give a short name)
  TImportDescription Description;
  std::string Kept; // the converted song kept for the import
};

class TImportJournal {
public:
  explicit TImportJournal(TWriteJournal& Journal) : FJournal(Journal) {}
  TImportJournal(const TImportJournal&) = delete;
  TImportJournal& operator=(const TImportJournal&) = delete;

  // Call first for every import: keeps a copy of Converted and notes the import.
  void BeforeImport(const TStreamData& Sample, bool AsNewFile, const std::string& EntryName,
                    const std::string& Source, const std::string& Converted,
                    const TImportDescription& Description = {});
  // Call before Entry's data is replaced in place.
  void BeforeReplace(const TEAStreamFile& Entry);
  // Call before an entry is added to Archive (which rewrites its file), and AfterAdd after, whether the add
  // succeeded or failed.
  void BeforeAdd(TEAStream& Archive);
  void AfterAdd(TEAStream& Archive);

  // Puts every archive file back as it was at the last save (the journal's rollback). Raises the file
  // layer's errors; the journal then stays for the next open to finish.
  void Undo();
  // After a save: the transaction is over.
  void Forget() { FBackedUp.clear(); }

  // The imports a rollback undid, in the order they were made; kept songs that are gone are left out.
  static std::vector<TImportRecord> ImportsOf(const TWriteJournal::TRecovery& Recovery);
  // Deletes the kept songs of Imports (a refused delete is ignored: they are scratch files), and their
  // folder once it is empty.
  static void DiscardKept(const std::vector<TImportRecord>& Imports);

private:
  TWriteJournal& FJournal;
  std::set<std::string> FBackedUp; // archives whose file before the transaction is kept
};
