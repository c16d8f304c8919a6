#include "tools/orvik-streams/Commands.h"

#include "base/Exceptions.h"
#include "base/Paths.h"
#include "base/Text.h"
#include "platform/FileSystem.h"
#include "tools/orvik-streams/Utf8.h"
#include "workflows/KeptOriginals.h"
#include "workflows/Messages.h"

namespace {

// Says what recovery did, as the window does; a command has no one to ask, so imports that were undone
// are named and their kept songs go.
void ReportRecovery(const TRecoveryReport& Report, TContext& C) {
  if (Report.Outcome == TWriteJournal::TOutcome::SetAside)
    C.Err << "note: " << WideToAnsi(msg::JournalSetAside) << " \"" << Utf8FromNarrow(Report.SetAsideAs)
          << "\" because " << Utf8FromNarrow(Report.Reason) << "\n";
  if (Report.Outcome == TWriteJournal::TOutcome::RolledForward)
    C.Err << "note: " << WideToAnsi(msg::SaveFinished) << "\n";
  if (Report.Outcome != TWriteJournal::TOutcome::RolledBack)
    return;
  C.Err << "note: " << WideToAnsi(msg::ChangesRolledBack) << "\n";
  for (const TImportRecord& Import : Report.Imports)
    C.Err << "note: the import of " << Utf8FromNarrow(Import.Source) << " was undone\n";
  TImportJournal::DiscardKept(Report.Imports);
}

} // namespace

std::unique_ptr<TDefinitionSession> OpenForWriting(const std::string& Path, TContext& C) {
  // Refused before the lock is taken: the lock file and recovery would write in the kept folder too.
  if (IsInKeptFolder(Path))
    throw Exception(msg::KeptDefinitionRefused);
  auto Session = std::make_unique<TDefinitionSession>(Path);
  ReportRecovery(Session->Open(), C);
  return Session;
}

std::unique_ptr<TDefinitionSession> OpenForChange(const std::string& Path, const std::string& PreloadFolder,
                                                  TContext& C) {
  auto Session = OpenForWriting(Path, C);
  TKeptOriginals Originals(Path, PreloadFolder);
  if (!C.KeepOriginal)
    return Session;
  try {
    if (std::optional<TSetAside> Aside = Originals.SetAsideIfDamaged()) {
      C.Err << "note: " << Utf8FromNarrow(Aside->Notice()) << "\n";
      return Session;
    }
  } catch (...) {
    Session->Close();
    throw;
  }
  if (Originals.State() != TKeptState::None)
    return Session;
  int64_t Size = Originals.SizeToKeep();
  size_t Count = Originals.FilesToKeep().size();
  try {
    Originals.Keep(Session->Journal);
  } catch (...) {
    Session->Close();
    throw;
  }
  C.Err << "note: the original music (" << Count << " files, " << Size << " bytes) is kept in \""
        << Utf8FromNarrow(Originals.Folder()) << "\" before the first change\n";
  return Session;
}

void RecoverBeforeReading(const std::string& Path, TContext& C) {
  TRecoveryReport Report;
  if (RecoverForReading(Path, Report))
    ReportRecovery(Report, C);
  else
    C.Err << "note: " << Utf8FromNarrow(TDefinitionSession::InUseMessage(Path))
          << "; it is read as it is now\n";
}

std::unique_ptr<TStreamPack> LoadPack(const std::string& Definition) {
  auto Pack = std::make_unique<TStreamPack>(ExtractFilePath(platform::FullPath(Definition)));
  Pack->LoadFromFile(Definition);
  return Pack;
}

std::unique_ptr<TStreamPack> LoadForReading(const std::string& Definition, TContext& C) {
  RecoverBeforeReading(Definition, C);
  return LoadPack(Definition);
}

void RunInSession(std::unique_ptr<TDefinitionSession> Session,
                  const std::function<void(TDefinitionSession& Session)>& Work) {
  try {
    Work(*Session);
  } catch (...) {
    Session->Close();
    throw;
  }
  Session->Close();
}

void ChangeDefinition(const std::string& Definition, const std::string& PreloadFolder, TContext& C,
                      const TDefinitionWork& Work) {
  RunInSession(OpenForChange(Definition, PreloadFolder, C),
               [&](TDefinitionSession& Session) { Work(*LoadPack(Definition), Session); });
}

void ChangeDefinition(const std::string& Definition, TContext& C, const TDefinitionWork& Work) {
  ChangeDefinition(Definition, DefaultPreloadFolder(Definition), C, Work);
}

std::string ArchiveName(const TStreamPack& Pack, int32_t Index) {
  if (Index >= 0 && Index < Pack.ArchiveCount())
    return ExtractFileName(Pack.Archives(Index)->FileName);
  // Appended rather than concatenated: GCC 12 at -O3 takes "#" + std::string for an overlapping copy.
  return std::string(1, '#').append(std::to_string(Index));
}

void Save(TStreamPack& Pack, TDefinitionSession& Session, bool Rebuild) {
  Pack.SaveWithArchives(Session.Path(), Rebuild, {}, &Session.Journal);
  Session.Imports.Forget();
}
