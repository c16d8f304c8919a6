#include "definitions/DefinitionSession.h"
#include "base/Exceptions.h"

TDefinitionSession::TDefinitionSession(std::string DefinitionPath)
    : Journal(TWriteJournal::PathFor(DefinitionPath)), Imports(Journal), FPath(std::move(DefinitionPath)) {}

TDefinitionSession::~TDefinitionSession() = default;

std::string TDefinitionSession::InUseMessage(const std::string& Definition) {
  return "The definition file \"" + Definition +
         "\" is open in another ORVIK Streams Editor or orvik-streams command. Close it there, then try "
         "again";
}

TRecoveryReport TDefinitionSession::Open() {
  if (int Error = FLock.Acquire(LockPath(FPath))) {
    if (Error == platform::LockBusyError())
      throw EDefinitionInUse(InUseMessage(FPath));
    throw EFCreateError(LockPath(FPath), Error);
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
