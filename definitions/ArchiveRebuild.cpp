// Saving a pack with its archives all or nothing (see SaveWithArchives in uTypes.h).
//
// The archives on disk and the offsets in memory must agree after any failure: the samples' offsets are
// carried over before the definition is written (it must hold the new ones), and put back when any step
// fails; the archives commit their new offsets only once every file is in place.

#include "base/Exceptions.h"
#include "definitions/DefinitionSession.h"
#include "definitions/uTypes.h"
#include "platform/FileSystem.h"

#include <algorithm>

namespace {

void ForgetPendingOffsets(TEAStream& Archive) {
  for (int32_t I = 0; I < Archive.FileCount(); ++I) {
    Archive.Files(I)->NewOffset = 0;
    Archive.Files(I)->NewDirectoryPos = 0;
  }
}

std::vector<uint32_t> SampleOffsets(const TStreamPack& Pack) {
  std::vector<uint32_t> Offsets;
  ForEachSample(Pack, [&](const TStreamData& Sample) { Offsets.push_back(Sample.FileOffset); });
  return Offsets;
}

void RestoreSampleOffsets(TStreamPack& Pack, const std::vector<uint32_t>& Offsets) {
  size_t Next = 0;
  ForEachSample(Pack, [&](TStreamData& Sample) { Sample.FileOffset = Offsets[Next++]; });
}

} // namespace

void TStreamPack::RebuildArchives() {
  Commit(nullptr, true, {}, nullptr);
}

std::vector<std::string> TStreamPack::SaveWithArchives(const std::string& FileName, bool Rebuild,
                                                       const TRebuildProgress& Progress,
                                                       TWriteJournal* Journal) {
  if (Journal != nullptr)
    return Commit(&FileName, Rebuild, Progress, Journal);
  TWriteJournal Own(TWriteJournal::PathFor(FileName), DefinitionScope(FileName));
  return Commit(&FileName, Rebuild, Progress, &Own);
}

std::vector<std::string> TStreamPack::Commit(const std::string* FileName, bool Rebuild,
                                             const TRebuildProgress& Progress, TWriteJournal* Journal) {
  if (Rebuild)
    CheckArchiveIndexes();
  std::vector<uint32_t> Offsets = SampleOffsets(*this);
  TFileSetCommit Files(Journal);
  try {
    if (Rebuild)
      WriteRebuiltCopies(Files, Progress);
    if (FileName != nullptr) {
      // Composed in memory and written at once: the writer puts each field with its own call.
      TMemoryStream Bytes;
      SaveToStream(Bytes);
      TFileStream Stream(Files.Add(*FileName), TFileAccess::Create);
      Bytes.SetPosition(0);
      Stream.CopyFrom(Bytes, Bytes.Size());
    }
    Files.Swap();
  } catch (...) {
    RestoreSampleOffsets(*this, Offsets);
    for (int32_t I = 0; I < ArchiveCount(); ++I)
      ForgetPendingOffsets(*Archives(I));
    throw;
  }
  if (Rebuild)
    for (int32_t I = 0; I < ArchiveCount(); ++I)
      Archives(I)->CommitOffsets();
  return Files.DeleteBackups();
}

namespace {

// An archive that a rebuild would not change is not written: its entries stay where they are.
void KeepPlace(TEAStream& Archive) {
  for (int32_t I = 0; I < Archive.FileCount(); ++I) {
    Archive.Files(I)->NewOffset = Archive.Files(I)->Offset;
    Archive.Files(I)->NewDirectoryPos = Archive.Files(I)->DirectoryPos;
  }
}

} // namespace

// Every archive is written to its copy, and its samples carried over, before any file is touched.
void TStreamPack::WriteRebuiltCopies(TFileSetCommit& Files, const TRebuildProgress& Progress) {
  std::vector<TEAStream*> Changed;
  int64_t Total = 0;
  for (int32_t I = 0; I < ArchiveCount(); ++I) {
    TEAStream& Archive = *Archives(I);
    if (Archive.IsCompact()) {
      KeepPlace(Archive);
      continue;
    }
    Changed.push_back(&Archive);
    for (int32_t J = 0; J < Archive.FileCount(); ++J)
      Total += Archive.Files(J)->Size;
  }
  // No copy is written while any archive would be refused.
  for (TEAStream* Archive : Changed)
    Archive->CheckRebuildable();
  int64_t Done = 0;
  TCopyObserver Observer([&](int64_t Bytes) {
    Done += Bytes;
    if (Progress)
      Progress(std::min(Done, Total), Total);
  });
  for (TEAStream* Archive : Changed) {
    std::string Copy = Files.Add(Archive->FileName);
    Archive->SaveToFile(Copy);
    if (!platform::IsFile(Copy))
      throw Exception("Rebuild of archives failed");
  }
  for (int32_t I = 0; I < ArchiveCount(); ++I)
    CarrySampleOffsets(I);
}
