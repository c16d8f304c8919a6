#pragma once
// A definition opened for writing: its lock, the recovery of whatever a process that died left behind,
// and the journal through which every change of its files goes until it is closed. The window holds one
// while a definition is open; each command of the command-line tool that writes holds one while it runs.

#include "base/Exceptions.h"
#include "base/WriteJournal.h"
#include "definitions/ImportJournal.h"
#include "platform/FileLock.h"

#include <string>
#include <vector>

// A definition that another editor or command has open for writing.
class EDefinitionInUse : public Exception {
public:
  using Exception::Exception;
};

// What recovery did at open.
struct TRecoveryReport {
  TWriteJournal::TOutcome Outcome = TWriteJournal::TOutcome::Nothing;
  // With a rollback: the imports it undid, whose kept songs remain until done again or discarded.
  std::vector<TImportRecord> Imports;
  // With SetAside: where the journal went, and why it could not be trusted.
  std::string SetAsideAs, Reason;
};

// The folder below the definition's that keeps the game's original music.
inline constexpr const char* kKeptMusicFolder = "Original music";

// What the journal of the definition at Definition may name besides the definition and its songs: the
// archives named by the definition or by a copy of it that a save left behind (its new copy, its
// backups), and the files below the kept original music's folder.
TJournalScope DefinitionScope(const std::string& Definition);

class TDefinitionSession {
public:
  explicit TDefinitionSession(std::string DefinitionPath);
  ~TDefinitionSession();
  TDefinitionSession(const TDefinitionSession&) = delete;
  TDefinitionSession& operator=(const TDefinitionSession&) = delete;

  static std::string LockPath(const std::string& Definition) { return Definition + ".~lock"; }
  // The message with which a lock held by another program is refused.
  static std::string InUseMessage(const std::string& Definition);

  // Takes the lock and recovers a journal left behind (or sets it aside, when it cannot be trusted). Raises
  // InUseMessage when another editor or command holds the lock, and the file layer's errors when recovery
  // fails (nothing then is read or written).
  TRecoveryReport Open();
  // Rolls back what was not saved, then releases the lock. Raises the file layer's errors; the journal
  // then stays for the next open to finish the rollback.
  void Close();

  const std::string& Path() const { return FPath; }
  TWriteJournal Journal;
  TImportJournal Imports;

private:
  std::string FPath;
  platform::FileLock FLock;
};

// For reading alone: recovers the definition's journal when its lock is free (holding the lock only
// meanwhile) and returns true; false, with nothing done, while another program has the definition open.
bool RecoverForReading(const std::string& Definition, TRecoveryReport& Report);
