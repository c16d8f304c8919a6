#pragma once
// What an import changes in the archive files before the definition is saved, described to the write
// journal before the change is made, so that a discard, a crash or a power cut never leaves a definition
// on disk pointing into archives that changed under it.
//
// A replace appends data and patches one directory record in place: the journal keeps the archive's
// length and the record's old bytes. An add rewrites the whole archive file: each add keeps the file as
// it was under a backup name ("<archive>.~undo" or "<archive>.~undoN", never one named before in the
// transaction), renamed, not copied, so that rolling back, which puts the backups back from the last to the
// first, ends with the file as it was at the last save, and so that the add can be taken back. Each
// import also keeps a copy of the converted song and notes which sample it was for and the description it
// gave the sample, so that after a rollback the imports can be done again as they were. The kept songs
// live in the definition's songs folder ("<definition>.~songs", beside it), which goes with the last of
// them.
//
// The edit history takes the archive changes of its steps from here (TakeStep) and has them undone and
// done again through the same journal (UndoStep, RedoStep):
// - a replace is undone by writing the record's old bytes back and cutting the archive to its old length,
//   and done again by appending the kept song once more, which lands where it did the first time;
// - an add is undone by renaming the archive after it to a fresh backup name and its backup back into its
//   place; done again the other way round. The journal notes both renames, so that a rollback passes back
//   through every file the archive's name held, and each of the journal's records meets the file it was
//   written for.
// Each undo and redo is noted first, naming the imports it concerns, so that a rollback offers to do again
// exactly the imports that stood when the process died.

#include "archive/uEAStream.h"
#include "base/WriteJournal.h"

#include <array>
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

// One change of an archive file by an import.
struct TArchiveChange {
  bool Added = false;
  std::string Archive; // the archive file
  // A replace: the entry's directory record, its bytes before, the archive's length before, and the song.
  uint32_t DirectoryPos = 0;
  std::array<uint8_t, 8> OldRecord{};
  int64_t OldLength = 0;
  std::string Song;
  // An add: while the add stands, the archive file as it was before it; while it is undone, the archive
  // file as the add left it; each under a backup name the journal knows.
  std::string Before, After;
};

// What the imports of one step of the edit history changed: in the order made, and the imports' places
// among the transaction's notes.
struct TImportStep {
  std::vector<TArchiveChange> Changes;
  std::vector<int32_t> Imports;
  bool Empty() const { return Changes.empty(); }
};

class TImportJournal {
public:
  explicit TImportJournal(TWriteJournal& Journal) : FJournal(Journal) {}
  TImportJournal(const TImportJournal&) = delete;
  TImportJournal& operator=(const TImportJournal&) = delete;

  // Call first for every import: keeps Converted and notes the import. A converted song the caller lets go
  // (Take) is moved into the journal's keeping where the file system allows, else copied. Returns the
  // kept song, which holds Converted's bytes: the file to import from.
  std::string BeforeImport(const TStreamData& Sample, bool AsNewFile, const std::string& EntryName,
                           const std::string& Source, const std::string& Converted,
                           const TImportDescription& Description = {}, bool Take = false);
  // Call before Entry's data is replaced in place, and AfterReplace once it was.
  void BeforeReplace(const TEAStreamFile& Entry);
  void AfterReplace();
  // Call before an entry is added to Archive (which rewrites its file), and AfterAdd after, whether the add
  // succeeded or failed.
  void BeforeAdd(TEAStream& Archive);
  void AfterAdd(TEAStream& Archive);

  // Puts every archive file back as it was at the last save (the journal's rollback). Raises the file
  // layer's errors; the journal then stays for the next open to finish.
  void Undo();
  // After a save: the transaction is over.
  void Forget();

  // The changes of the imports made since the last call (or the transaction's start).
  TImportStep TakeStep();
  // Takes Step's changes back, from the last to the first, or makes them again in order. The caller
  // reloads the directories of the archives named. Raises the file layer's errors, with the step's files
  // partly changed: the journal still rolls them back whole.
  void UndoStep(TImportStep& Step);
  void RedoStep(TImportStep& Step);

  // The imports a rollback undid, in the order they were made; kept songs that are gone are left out.
  static std::vector<TImportRecord> ImportsOf(const TWriteJournal::TRecovery& Recovery);
  // Deletes the kept songs of Imports (a refused delete is ignored: they are scratch files), and their
  // folder once it is empty.
  static void DiscardKept(const std::vector<TImportRecord>& Imports);

private:
  // A name beside Archive for a whole copy of it, not named before in the transaction.
  std::string FreshName(const std::string& Archive);
  // Puts Back, a backup of Archive, in its place, the archive going to a fresh backup name first; returns
  // that name.
  std::string Exchange(const std::string& Archive, const std::string& Back);
  void Note(const char* Kind, const std::vector<int32_t>& Imports);

  TWriteJournal& FJournal;
  std::set<std::string> FNamed;  // scratch names given in the transaction
  int32_t FNotes = 0;            // imports noted in the transaction
  std::string FLastKept;         // the song kept for the last import
  std::vector<int32_t> FPending; // imports noted whose change is not yet made
  TArchiveChange FPendingChange;
  TImportStep FStep;
};
