#include "definitions/DefinitionSession.h"
#include "base/Exceptions.h"
#include "base/Paths.h"
#include "base/ScopeGuard.h"
#include "definitions/uTypes.h"
#include "platform/FileSystem.h"

TJournalScope DefinitionScope(const std::string& Definition) {
  // Read anew at every question: the definition and its copies change while a transaction runs.
  auto IsMember = [Definition](const std::string& Name) {
    std::vector<std::string> Copies = {Definition, Definition + ".~new", Definition + ".~old"};
    for (int N = 2; platform::IsFile(Definition + ".~old" + std::to_string(N)); ++N)
      Copies.push_back(Definition + ".~old" + std::to_string(N));
    const std::string Folder = ExtractFilePath(Definition);
    for (const std::string& Copy : Copies) {
      if (!platform::IsFile(Copy))
        continue;
      // A copy that cannot be opened now raises, so that recovery waits for it rather than distrusting
      // every archive it names.
      TFileStream Readable(Copy, TFileAccess::Read);
      for (const std::string& Path : TStreamPack::ArchivePathsOf(Copy))
        if (TWriteJournal::NameIn(Folder.empty() ? "." : Folder, Path) == Name)
          return true;
    }
    return false;
  };
  return {IsMember, kKeptMusicFolder};
}

TDefinitionSession::TDefinitionSession(std::string DefinitionPath)
    : Journal(TWriteJournal::PathFor(DefinitionPath), DefinitionScope(DefinitionPath)), Imports(Journal),
      FPath(std::move(DefinitionPath)) {}

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
    TWriteJournal::TRecovery Recovery = TWriteJournal::Recover(Journal.Path(), DefinitionScope(FPath));
    Report.Outcome = Recovery.Outcome;
    Report.SetAsideAs = Recovery.SetAsideAs;
    Report.Reason = Recovery.Reason;
    Report.Imports = TImportJournal::ImportsOf(Recovery);
  } catch (...) {
    FLock.Release();
    throw;
  }
  return Report;
}

void TDefinitionSession::Close() {
  TScopeGuard Release([this] { FLock.Release(); });
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
