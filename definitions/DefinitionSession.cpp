#include "definitions/DefinitionSession.h"
#include "base/Exceptions.h"
#include "platform/FileSystem.h"

TDefinitionSession::TDefinitionSession(std::string DefinitionPath)
    : Journal(TWriteJournal::PathFor(DefinitionPath)), Imports(Journal), FPath(std::move(DefinitionPath)) {}

TDefinitionSession::~TDefinitionSession() = default;

std::string TDefinitionSession::InUseMessage(const std::string& Definition) {
  return "The definition file \"" + Definition +
         "\" is open in another ORVIK Streams Editor or orvik-streams command. Close it there, then try "
         "again";
}

TRecoveryReport TDefinitionSession::Open() {
  // A missing definition is the load's to report, in its own words, unless a journal says that a save
  // was putting it in place.
  if (!platform::IsFile(FPath) && !platform::IsFile(Journal.Path()))
    return {};
  if (int Error = FLock.Acquire(LockPath(FPath))) {
    if (Error == platform::LockBusyError())
      throw EDefinitionInUse(InUseMessage(FPath));
    // A folder that cannot hold the lock (read-only media, no rights) cannot be written either: the
    // definition opens for reading, and a write fails with the system's reason when it creates the journal.
    // A journal left there, though, must be recovered before anything is read.
    if (platform::IsFile(Journal.Path()))
      throw EFCreateError(LockPath(FPath), Error);
    return {};
  }
  TRecoveryReport Report;
  try {
    TWriteJournal::TRecovery Recovery = TWriteJournal::Recover(Journal.Path());
    Report.Outcome = Recovery.Outcome;
    Report.Imports = TImportJournal::ImportsOf(Recovery);
  } catch (...) {
    FLock.Release();
    throw;
  }
  return Report;
}

void TDefinitionSession::Close() {
  struct Release {
    platform::FileLock& Lock;
    ~Release() { Lock.Release(); }
  } Finally{FLock};
  if (FLock.Held())
    Imports.Undo();
}

bool RecoverForReading(const std::string& Definition, TRecoveryReport& Report) {
  TDefinitionSession Session(Definition);
  try {
    Report = Session.Open();
  } catch (const EDefinitionInUse&) {
    return false;
  }
  Session.Close();
  return true;
}
