// archive: BIGF archives alone, outside any definition.

#include "base/Exceptions.h"
#include "base/FileSetCommit.h"
#include "base/Paths.h"
#include "base/Streams.h"
#include "platform/FileSystem.h"
#include "tools/orvik-streams/Commands.h"
#include "tools/orvik-streams/Utf8.h"

#include <map>

namespace {

// Adds FILE as a new entry, named by --name or else after the file.
void AddEntry(TEAStream& Archive, const TArguments& Args, TWriteJournal& Journal) {
  std::string Name = Args.Has("name") ? Args.Value("name") : ExtractFileName(Args.Positional(2));
  Journal.BeforeCreate(TFileSetCommit::NewName(Archive.FileName));
  Archive.AddFile(Args.Positional(2), Name);
  Archive.CommitOffsets();
  CheckOSError(platform::FlushFolder(ExtractFilePath(Archive.FileName)));
}

void Rebuild(TEAStream& Archive, TWriteJournal& Journal) {
  std::string Rebuilt = TFileSetCommit::NewName(Archive.FileName);
  Journal.BeforeCreate(Rebuilt);
  try {
    Archive.SaveToFile(Rebuilt);
    CheckOSError(platform::ReplaceFile(Rebuilt, Archive.FileName));
    CheckOSError(platform::FlushFolder(ExtractFilePath(Archive.FileName)));
  } catch (...) {
    DeleteIfPresent(Rebuilt);
    throw;
  }
}

} // namespace

int ArchiveCommand(const TArguments& Args, TContext& C) {
  const std::string& Action = Args.Positional(0);
  static const std::map<std::string, std::pair<size_t, size_t>> Counts = {
      {"list", {2, 2}}, {"extract", {4, 4}}, {"add", {3, 3}}, {"rebuild", {2, 2}}};
  auto Count = Counts.find(Action);
  if (Count == Counts.end())
    throw EUsage("unknown archive action \"" + Action + "\"");
  if (Args.PositionalCount() != Count->second.first)
    throw EUsage("archive " + Action + " takes " + std::to_string(Count->second.first - 1) + " argument(s)");
  const std::string& Path = Args.Positional(1);
  TEAStream Archive;
  if (Action == "list" || Action == "extract") {
    RecoverBeforeReading(Path, C);
    Archive.LoadFromFile(Path);
    if (Action == "extract")
      Archive.FileNamed(Args.Positional(2)).SaveToFile(Args.Positional(3));
    else
      for (int32_t I = 0; I < Archive.FileCount(); ++I)
        C.Out << Archive.Files(I)->Offset << "\t" << Archive.Files(I)->Size << "\t"
              << Utf8FromNarrow(Archive.Files(I)->Name) << "\n";
    return 0;
  }
  // An archive alone has a lock and a journal of its own while it is written.
  RunInSession(OpenForWriting(Path, C), [&](TDefinitionSession& Session) {
    Archive.LoadFromFile(Path);
    if (Action == "add")
      AddEntry(Archive, Args, Session.Journal);
    else
      Rebuild(Archive, Session.Journal);
    Session.Journal.Finish();
  });
  return 0;
}
