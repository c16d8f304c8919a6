#include "definitions/ImportJournal.h"
#include "base/Exceptions.h"
#include "platform/FileSystem.h"

#include <algorithm>

namespace {

int64_t FileLength(const std::string& Path) {
  TFileStream File(Path, TFileAccess::Read);
  return File.Size();
}

void PutRecord(TStream& Archive, uint32_t DirectoryPos, uint32_t Offset, uint32_t Size) {
  uint8_t Bytes[8];
  for (int I = 0; I < 4; ++I) {
    Bytes[I] = static_cast<uint8_t>(Offset >> (24 - 8 * I));
    Bytes[4 + I] = static_cast<uint8_t>(Size >> (24 - 8 * I));
  }
  Archive.SetPosition(DirectoryPos);
  Archive.WriteBuffer(Bytes, sizeof Bytes);
}

} // namespace

TImportJournal::~TImportJournal() {
  for (auto& [Path, Changes] : FArchives)
    if (!Changes.Backup.empty() && platform::IsFile(Changes.Backup))
      platform::DeleteFile(Changes.Backup);
}

void TImportJournal::BeforeReplace(const TEAStreamFile& Entry) {
  TArchiveChanges& Changes = FArchives[Entry.Owner->FileName];
  // Once a copy exists, restoring it undoes everything that came after.
  if (!Changes.Backup.empty())
    return;
  if (Changes.OriginalLength < 0)
    Changes.OriginalLength = FileLength(Entry.Owner->FileName);
  bool Known = std::any_of(Changes.Records.begin(), Changes.Records.end(),
                           [&](const TRecord& R) { return R.DirectoryPos == Entry.DirectoryPos; });
  if (!Known)
    Changes.Records.push_back({Entry.DirectoryPos, Entry.Offset, Entry.Size});
}

void TImportJournal::BeforeAdd(TEAStream& Archive) {
  TArchiveChanges& Changes = FArchives[Archive.FileName];
  if (!Changes.Backup.empty())
    return;
  if (!platform::IsFile(UndoName(Archive.FileName))) {
    Archive.KeepReplacedAs = UndoName(Archive.FileName);
    return;
  }
  std::string Backup = MakeTempFileName("~bak");
  try {
    TFileStream In(Archive.FileName, TFileAccess::Read);
    TFileStream Out(Backup, TFileAccess::Create);
    Out.CopyFrom(In, In.Size());
  } catch (...) {
    if (platform::IsFile(Backup))
      platform::DeleteFile(Backup);
    throw;
  }
  Changes.Backup = Backup;
}

void TImportJournal::AfterAdd(TEAStream& Archive) {
  if (!Archive.KeepReplacedAs.empty() && platform::IsFile(Archive.KeepReplacedAs))
    FArchives[Archive.FileName].Backup = Archive.KeepReplacedAs;
  Archive.KeepReplacedAs.clear();
}

void TImportJournal::Undo() {
  for (auto It = FArchives.begin(); It != FArchives.end();) {
    const std::string& Path = It->first;
    TArchiveChanges& Changes = It->second;
    if (!Changes.Backup.empty()) {
      CheckOSError(platform::ReplaceFile(Changes.Backup, Path));
      Changes.Backup.clear();
    }
    if (Changes.OriginalLength >= 0) {
      TFileStream Archive(Path, TFileAccess::ReadWrite);
      for (const TRecord& R : Changes.Records)
        PutRecord(Archive, R.DirectoryPos, R.Offset, R.Size);
      Archive.SetSize(Changes.OriginalLength);
    }
    It = FArchives.erase(It);
  }
}

std::vector<std::string> TImportJournal::Forget() {
  // The journal is emptied first: a copy that cannot be deleted must never be restored later.
  std::map<std::string, TArchiveChanges> Kept;
  Kept.swap(FArchives);
  std::vector<std::string> Refused;
  for (auto& [Path, Changes] : Kept)
    if (!Changes.Backup.empty() && platform::IsFile(Changes.Backup) &&
        platform::DeleteFile(Changes.Backup) != 0)
      Refused.push_back(Changes.Backup);
  return Refused;
}
