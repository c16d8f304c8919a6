#include "base/FileSetCommit.h"
#include "base/Exceptions.h"
#include "base/Streams.h"
#include "platform/FileSystem.h"

#include <algorithm>

namespace {

// The last way back when a rename back is refused: the old bytes are copied into the file's place. The
// backup stays until the copy is complete, so a failure here still leaves the old bytes under it.
bool CopyBack(const std::string& Backup, const std::string& Target) {
  try {
    CopyWholeFile(Backup, Target);
    platform::DeleteFile(Backup);
    return true;
  } catch (const Exception&) {
    return false;
  }
}

} // namespace

TFileSetCommit::~TFileSetCommit() {
  if (FCommitted)
    return; // the copies belong to the journal's commit now, which recovery finishes
  for (const TEntry& Entry : FEntries)
    if (Entry.Done != 2)
      DeleteIfPresent(NewName(Entry.Target));
}

std::string TFileSetCommit::Add(const std::string& Target) {
  auto Known =
      std::find_if(FEntries.begin(), FEntries.end(), [&](const TEntry& E) { return E.Target == Target; });
  if (Known == FEntries.end()) {
    if (platform::IsFile(NewName(Target)))
      CheckOSError(platform::DeleteFile(NewName(Target)));
    if (FJournal != nullptr)
      FJournal->BeforeCreate(NewName(Target));
    FEntries.push_back({Target, OldName(Target)});
  }
  return NewName(Target);
}

// Backups take free names, and the commit with those names is on the disk before the first rename.
void TFileSetCommit::Record() {
  if (FJournal == nullptr)
    return;
  std::vector<TWriteJournal::TCommitFile> Files;
  for (TEntry& Entry : FEntries) {
    for (int N = 2; platform::IsFile(Entry.Backup); ++N)
      Entry.Backup = OldName(Entry.Target) + std::to_string(N);
    Files.push_back({Entry.Target, NewName(Entry.Target), Entry.Backup});
  }
  FJournal->Commit(Files);
  FCommitted = true;
}

void TFileSetCommit::SwapOne(TEntry& Entry) {
  Entry.Existed = platform::IsFile(Entry.Target);
  if (Entry.Existed)
    if (int Error = platform::MoveFile(Entry.Target, Entry.Backup))
      throw EFCreateError(Entry.Target, Error);
  Entry.Done = 1;
  if (int Error = platform::MoveFile(NewName(Entry.Target), Entry.Target))
    throw EFCreateError(Entry.Target, Error);
  Entry.Done = 2;
}

bool TFileSetCommit::SwapBack(TEntry& Entry) {
  const std::string& Target = Entry.Target;
  const std::string& Old = Entry.Backup;
  if (Entry.Done == 0)
    return true;
  if (Entry.Done == 2) {
    // The new copy steps aside (a file that did not exist before simply goes).
    bool Aside = platform::MoveFile(Target, NewName(Target)) == 0 ||
                 (!Entry.Existed && platform::DeleteFile(Target) == 0);
    if (!Aside) {
      if (!Entry.Existed || !CopyBack(Old, Target))
        return false;
      Entry.Done = 0;
      return true;
    }
    Entry.Done = 1;
  }
  if (Entry.Existed && platform::MoveFile(Old, Target) != 0 && !CopyBack(Old, Target))
    return false;
  Entry.Done = 0;
  return true;
}

void TFileSetCommit::Swap() {
  Record();
  std::vector<TEntry*> Started;
  try {
    for (TEntry& Entry : FEntries) {
      Started.push_back(&Entry);
      SwapOne(Entry);
    }
  } catch (const Exception& Error) {
    std::string Kept;
    for (auto It = Started.rbegin(); It != Started.rend(); ++It)
      if (!SwapBack(**It))
        Kept += std::string(platform::LineBreak()) + (*It)->Backup;
    if (Kept.empty()) {
      // Every file holds its old bytes again: the commit is void. Should that not reach the disk, the
      // copies stay for the next recovery, which then finishes the commit, as whole a state; and any
      // later record of this process voids it too.
      if (FJournal != nullptr) {
        try {
          FJournal->Abort();
          FCommitted = false;
        } catch (const Exception&) {
        }
      }
      throw;
    }
    if (FJournal != nullptr)
      throw Exception(Error.Message()); // recovery at the next open finishes the commit
    throw Exception(Error.Message() + platform::LineBreak() +
                    "The files could not all be put back; the ones from before the save are kept as:" + Kept);
  }
}

std::vector<std::string> TFileSetCommit::DeleteBackups() {
  std::vector<std::string> Refused;
  if (FJournal != nullptr) {
    FJournal->Finish();
    FCommitted = false;
    return Refused;
  }
  for (const TEntry& Entry : FEntries)
    if (Entry.Existed && platform::IsFile(Entry.Backup) && platform::DeleteFile(Entry.Backup) != 0)
      Refused.push_back(Entry.Backup);
  return Refused;
}
