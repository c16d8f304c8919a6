#pragma once
// A write-ahead journal over a set of files, in the manner of a database's rollback journal: every change
// to a user's file is described in the journal, and the description is on the disk before the change is
// made, so that whatever moment a process dies or the power fails at, the next open can put every file
// back as it was at the last commit (roll back) or finish the commit that was under way (roll forward).
//
// The journal is a file of its own ("<subject>.~journal", the subject being the file it is kept for, such
// as a definition), created by the first record of a transaction and deleted when the transaction ends.
// It holds records, each
//   u32 type, u32 payload length, payload, u32 CRC-32 of the three before   (little-endian)
// appended and flushed one by one. A torn last record fails its length or checksum and is ignored, with
// everything after it: a record is only relied on once it is whole, and the change it describes is made
// only after that.
//
// Records never hold a path. A file is named by a role and a name relative to the journal's folder, with
// '/' between folders, so that a copied folder recovers itself and nothing else, and a journal written on
// one platform is recovered on another:
//   u8 role, text name    (texts as u32 length and bytes)
// The roles, each optionally with a scratch suffix (".~new", ".~old" or ".~undo", the last two with an
// optional number):
//   Subject  the journal's subject itself
//   Member   a file the subject names (an archive of a definition); TJournalScope says which
//   Kept     a file below the scope's kept folder ("Original music"), written only as new whole copies
//   Song     a file of the subject's songs folder ("<subject>.~songs"), kept for a change's note
//
// What the records say, and what recovery does with them:
//   Length   a file's length before the transaction first wrote into it,  rollback: cut back to it
//            or into the file that took its name since                    (never made longer)
//   Bytes    bytes of a file before they were overwritten in place        rollback: written back
//   Backup   a file about to be renamed to a backup and replaced          rollback: the backup put back
//   Moved    a backup about to be renamed back to its file's name         rollback: renamed to the
//            (the file having gone to a backup of its own first)          backup's name again
//   Created  a file the transaction creates                               rollback: deleted
//   Note     the caller's own description of a change, with a file it     returned by rollback; the
//            kept for it (for example the song of an import)              kept file goes with a commit
//   Commit   new copies, each with its target and the backup name the     roll forward: each copy that
//            target is moved to; every copy is complete and flushed       still exists is put in place
//   Abort    the commit before it was undone by the process itself        the commit does not stand
// A commit stands only when nothing but garbage follows it; one that does not stand is rolled back like the
// rest: a target still under its backup name is put back.
//   Garbage  a file left by an earlier transaction, or a scratch file     deleted
//            the transaction makes, to be deleted
// Rollback applies the records from last to first. After either way every backup, copy and garbage file
// is deleted, and then the journal; a file that cannot be deleted stays named in the journal and goes at
// the next recovery, silently. Recovery changes nothing that an interrupted recovery has not already
// changed in the same way, so it can itself be interrupted at any point and run again.
//
// A journal is read as untrusted: recovery first reads and checks every whole record (its role and name
// against its kind, every offset and length against the files as they are and the 32-bit sizes the
// archives can hold), and applies none of them when any fails; such a journal, or one larger than any
// transaction writes, is set aside under a dated name and the files stay as they are.
//
// The journal knows nothing of what the files hold. It does not lock: the caller holds the lock of the
// files it journals (platform::FileLock) for as long as it uses the journal.

#include "base/Records.h"

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

// Which files of its folder a journal may name besides its subject and the subject's songs.
struct TJournalScope {
  // True for a name (relative to the folder, '/' between folders) that the subject names. Unset: every
  // name inside the folder that is no other role's.
  std::function<bool(const std::string& Name)> IsMember;
  // The folder, relative to the journal's, whose files are kept copies; empty for none.
  std::string KeptFolder;
};

class TWriteJournal {
public:
  struct TNote {
    std::vector<uint8_t> Payload;
    std::string Kept; // the file kept for the change, empty for none
  };
  struct TCommitFile {
    std::string Target, Copy, Backup;
  };
  enum class TOutcome {
    Nothing,       // no journal, or one with nothing to undo or finish
    RolledBack,    // changes that were never committed were undone
    RolledForward, // a commit that was under way was finished
    SetAside,      // the journal could not be trusted and was set aside, nothing applied
  };
  struct TRecovery {
    TOutcome Outcome = TOutcome::Nothing;
    // With RolledBack: every note, oldest first; Kept is empty for a note that kept no file or whose file
    // is gone.
    std::vector<TNote> Notes;
    std::vector<std::string> NotDeleted; // garbage that could not be deleted (still named by the journal)
    std::string SetAsideAs;              // with SetAside: the journal's new path
    std::string Reason;                  // with SetAside: what was wrong with it
  };

  // The largest journal and record that recovery reads: far above what any transaction writes.
  static constexpr int64_t kMaxJournalSize = 16 << 20;
  static constexpr uint32_t kMaxPayload = 1 << 20;

  // A journal at Path; nothing is written until the first record. Every file it is told of must lie in
  // Path's folder, or below it, under one of the roles above.
  explicit TWriteJournal(std::string Path, TJournalScope Scope = {});
  TWriteJournal(const TWriteJournal&) = delete;
  TWriteJournal& operator=(const TWriteJournal&) = delete;

  static std::string PathFor(const std::string& File) { return File + ".~journal"; }
  // The name of Path relative to Folder in the form records hold ('/' between folders, no "." or ".."
  // parts); empty when Path does not lie below Folder.
  static std::string NameIn(const std::string& Folder, const std::string& Path);
  // The folder that holds the songs kept for the notes of File's journal.
  static std::string SongFolderFor(const std::string& File) { return File + ".~songs"; }
  const std::string& Path() const { return FPath; }
  // The file the journal is kept for: its path without ".~journal".
  std::string SubjectPath() const;
  // True while the current transaction has written a record.
  bool Active() const { return FActive; }

  // Call before Count bytes at Offset of File are overwritten in place, or appended (Offset at or past
  // the end). Records the file's length the first time the transaction touches it, and the bytes that
  // will be overwritten.
  void BeforeWrite(const std::string& File, int64_t Offset, int64_t Count);
  // Call before File is renamed to Backup (which must not exist) to let another file take its place.
  void BeforeReplace(const std::string& File, const std::string& Backup);
  // Call before the transaction creates File, which must not exist.
  void BeforeCreate(const std::string& File);
  // Call before From, a backup of To, is renamed back to To (whose file has gone to a backup of its own).
  void BeforeMove(const std::string& From, const std::string& To);
  // Kept: a file of the songs folder (SongFolderFor the subject), or empty.
  void Note(const std::vector<uint8_t>& Payload, const std::string& Kept);
  // Flushes every file the transaction wrote in place and every copy, then records the commit. From the
  // moment this returns, recovery finishes the commit.
  void Commit(const std::vector<TCommitFile>& Files);
  // The process undid the commit itself (every target holds its old bytes again, every copy is back
  // under its name): recovery must roll back again.
  void Abort();

  // Ends a committed transaction: flushes the folders of the committed files and deletes the backups,
  // copies, kept and garbage files and the journal. What cannot be deleted is left to the next recovery.
  void Finish();
  // Ends the transaction by undoing it (the same as recovery of a journal left behind), and returns what
  // was done.
  TRecovery Rollback();

  // Recovers the journal at Path, if there is one: checks it, then rolls back or forward, deletes what is
  // left over, and deletes the journal; or sets it aside (see above). Raises the file layer's errors when
  // a file cannot be put back; the journal then stays, and a later recovery tries again.
  // Trusted: the journal is this process's own (a rollback or the end of its transaction), and one that
  // fails the checks raises the reason instead of being set aside: it stays for the next open to judge.
  static TRecovery Recover(const std::string& Path, const TJournalScope& Scope = {}, bool Trusted = false);

private:
  void Append(uint32_t Type, const TRecordWriter& Payload);
  void Reset();
  // Writes the role and relative name of File, as a record holds them; raises for a file of no role.
  void Name(TRecordWriter& Out, const std::string& File) const;

  std::string FPath;
  TJournalScope FScope;
  std::set<std::string> FTouched;  // files written in place, flushed by the commit
  std::set<std::string> FMeasured; // files whose present one has a Length record
  bool FActive = false;
};
