#pragma once
// Puts new copies of several files in place all or nothing, the way a database commits several files.
//
// 1. The caller writes each new copy under the name Add gives it, beside its file ("<file>.~new"), so
//    every later step is a rename within one folder.
// 2. Swap moves each file to its backup name ("<file>.~old") and its copy to its name, file by file. When
//    any rename fails, what was swapped is swapped back in reverse order, the copies are deleted and the
//    error is raised naming the file: every file holds its old bytes again.
// 3. Only then does the caller commit its own state; DeleteBackups removes the old copies.
// A process that dies during Swap loses nothing: for each file, "<file>.~old" (or else the file) holds the
// old bytes and "<file>.~new" (or else the file) the new ones.
//
// With a journal, every copy is recorded before it is created, and Swap flushes the copies and records
// the commit before the first rename, so that recovery finishes a commit that a dying process left half
// done; backups then take the first free name ("<file>.~old", "<file>.~old2", ...), so that one that
// could not be deleted is never in the way, and DeleteBackups leaves them to the journal.

#include "base/WriteJournal.h"

#include <string>
#include <vector>

class TFileSetCommit {
public:
  explicit TFileSetCommit(TWriteJournal* Journal = nullptr) : FJournal(Journal) {}
  // Deletes every copy not yet put in place (a refused delete is ignored), unless the journal holds a
  // commit of them that was not undone: recovery then needs them.
  ~TFileSetCommit();
  TFileSetCommit(const TFileSetCommit&) = delete;
  TFileSetCommit& operator=(const TFileSetCommit&) = delete;

  static std::string NewName(const std::string& Target) { return Target + ".~new"; }
  static std::string OldName(const std::string& Target) { return Target + ".~old"; }
  static std::wstring OldName(const std::wstring& Target) { return Target + L".~old"; }
  // Registers Target (once; a second Add of the same path gives the same name) and returns the name its
  // new copy must be written under. A stale copy under that name is deleted first; raises the OS error
  // when that fails.
  std::string Add(const std::string& Target);
  // Step 2 above. Raises "Cannot create file "%s". %s" naming the file whose swap failed. Files that
  // could not be swapped back, should that fail too, keep their old bytes under their backup name; the
  // error then names those as well.
  void Swap();
  // Step 3 above: deletes the backups and returns those that could not be deleted (with a journal, which
  // deletes them now or at the next recovery, none).
  std::vector<std::string> DeleteBackups();

private:
  struct TEntry {
    std::string Target;
    std::string Backup;
    bool Existed = false; // the file existed before Swap (a new file has no backup)
    int Done = 0;         // 0: untouched; 1: moved to its backup; 2: its copy in place
  };
  void SwapOne(TEntry& Entry);
  // Puts Entry back as it was; false when a rename back failed.
  bool SwapBack(TEntry& Entry);
  void Record();

  TWriteJournal* FJournal;
  bool FCommitted = false; // the journal holds a commit of these copies that was not undone
  std::vector<TEntry> FEntries;
};
