// Writing every archive of a pack anew and putting the copies in place (see RebuildArchives in uTypes.h).
//
// The archives on disk and the offsets in memory must agree after any failure: an archive's samples are
// carried over and its offsets committed only once its new file is in place, and the replace is one step,
// so an archive is either wholly old (old file, old offsets) or wholly new.

#include "base/Exceptions.h"
#include "definitions/uTypes.h"
#include "platform/FileSystem.h"

namespace {

void ForgetPendingOffsets(TEAStream& Archive) {
  for (int32_t I = 0; I < Archive.FileCount(); ++I) {
    Archive.Files(I)->NewOffset = 0;
    Archive.Files(I)->NewDirectoryPos = 0;
  }
}

// Deletes the scratch copies from First on and forgets those archives' pending offsets; a failed delete
// is ignored, the rebuild's own error is what the caller gets.
void Abandon(const TStreamPack& Pack, const std::vector<std::string>& Copies, size_t First) {
  for (size_t I = First; I < Copies.size(); ++I)
    if (platform::IsFile(Copies[I]))
      platform::DeleteFile(Copies[I]);
  for (int32_t I = static_cast<int32_t>(First); I < Pack.ArchiveCount(); ++I)
    ForgetPendingOffsets(*Pack.Archives(I));
}

} // namespace

void TStreamPack::RebuildArchives() {
  CheckArchiveIndexes();
  PutRebuiltCopies(WriteRebuiltCopies());
}

// Step 1: every archive written to its own scratch copy before any archive file is touched.
std::vector<std::string> TStreamPack::WriteRebuiltCopies() {
  std::vector<std::string> Copies;
  try {
    for (int32_t I = 0; I < ArchiveCount(); ++I) {
      Copies.push_back(MakeTempFileName("~viv"));
      Archives(I)->SaveToFile(Copies.back());
      if (!platform::IsFile(Copies.back()))
        throw Exception("Rebuild of archives failed");
    }
  } catch (...) {
    Abandon(*this, Copies, 0);
    throw;
  }
  return Copies;
}

// Step 2, archive by archive: replace the file, then move its samples and commit its offsets.
void TStreamPack::PutRebuiltCopies(const std::vector<std::string>& Copies) {
  for (size_t I = 0; I < Copies.size(); ++I) {
    TEAStream* Archive = Archives(static_cast<int32_t>(I));
    if (int Error = platform::ReplaceFile(Copies[I], Archive->FileName)) {
      Abandon(*this, Copies, I);
      throw EOSError(Error);
    }
    CarrySampleOffsets(static_cast<int32_t>(I));
    Archive->CommitOffsets();
  }
}
