#include "definitions/Preload.h"

#include "archive/EACompr.h"
#include "base/Exceptions.h"
#include "base/FileSetCommit.h"
#include "base/Paths.h"
#include "base/Streams.h"
#include "platform/FileSystem.h"

#include <algorithm>

const char* const PreloadArchiveNames[3] = {"faudio.viv", "gaudio.viv", "gaudiofa.viv"};

namespace {

// Compares the letters A to Z without regard to case, every other byte exactly.
bool SameText(const std::string& A, const std::string& B) {
  if (A.size() != B.size())
    return false;
  for (size_t I = 0; I < A.size(); ++I) {
    char X = A[I] >= 'a' && A[I] <= 'z' ? static_cast<char>(A[I] - 32) : A[I];
    char Y = B[I] >= 'a' && B[I] <= 'z' ? static_cast<char>(B[I] - 32) : B[I];
    if (X != Y)
      return false;
  }
  return true;
}

int FindEntry(const TEAStream& Archive, const std::string& Name) {
  for (int32_t I = 0; I < Archive.FileCount(); ++I)
    if (SameText(Archive.Files(I)->Name, Name))
      return I;
  return -1;
}

// True when the archive held an entry of the definition's name, which now holds Source.
bool UpdatePreloadArchive(const std::string& ArchivePath, const std::string& DefName,
                          const std::string& Source, const TRebuildProgress& Progress,
                          TWriteJournal& Journal) {
  int Entry = -1;
  {
    TEAStream Archive;
    Archive.LoadFromFile(ArchivePath);
    Entry = FindEntry(Archive, DefName);
  }
  if (Entry < 0)
    return false;
  // The entry is replaced in a scratch copy, which is then rebuilt; the archive itself changes only when
  // the rebuilt copy takes its place in one step.
  std::string Copy = MakeTempFileName("~viv");
  std::string Rebuilt;
  try {
    CopyWholeFile(ArchivePath, Copy);
    TEAStream Work;
    Work.LoadFromFile(Copy);
    Work.Files(Entry)->LoadFromFile(Source);
    // Beside the archive, so that putting it in place is a rename within one folder.
    Rebuilt = TFileSetCommit::NewName(ArchivePath);
    Journal.BeforeCreate(Rebuilt);
    {
      int64_t Total = 0, Done = 0;
      for (int32_t I = 0; I < Work.FileCount(); ++I)
        Total += Work.Files(I)->Size;
      TCopyObserver Observer([&](int64_t Bytes) {
        if (Progress)
          Progress(Done += Bytes, Total);
      });
      Work.SaveToFile(Rebuilt);
    }
    CheckOSError(platform::ReplaceFile(Rebuilt, ArchivePath));
    CheckOSError(platform::FlushFolder(ExtractFilePath(ArchivePath)));
  } catch (...) {
    DeleteIfPresent(Copy);
    DeleteIfPresent(Rebuilt);
    throw;
  }
  CheckOSError(platform::DeleteFile(Copy));
  return true;
}

} // namespace

std::string PreloadJournalPath(const std::string& Folder) {
  return TWriteJournal::PathFor(JoinPath(Folder, "preload"));
}

TJournalScope PreloadScope() {
  return {[](const std::string& Name) {
            return std::any_of(std::begin(PreloadArchiveNames), std::end(PreloadArchiveNames),
                               [&](const char* Known) { return Name == Known; });
          },
          ""};
}

TPreloadOutcome UpdatePreloadFolder(const std::string& DefPath, const std::string& Folder,
                                    const std::function<void()>& Uncompressed,
                                    const TRebuildProgress& Progress) {
  TWriteJournal::Recover(PreloadJournalPath(Folder), PreloadScope());
  TWriteJournal Journal(PreloadJournalPath(Folder), PreloadScope());
  struct Finish {
    TWriteJournal& Journal;
    ~Finish() { Journal.Finish(); }
  } Finally{Journal};
  TPreloadOutcome Outcome;
  std::string DefName = ExtractFileName(DefPath);
  std::string Source = MakeTempFileName("~compr");
  try {
    if (!CompressFile(DefPath, Source)) {
      if (Uncompressed)
        Uncompressed();
      Source = DefPath;
    }
    for (const char* Name : PreloadArchiveNames) {
      std::string ArchivePath = JoinPath(Folder, Name);
      if (!platform::IsFile(ArchivePath))
        continue;
      Outcome.Found.push_back(Name);
      if (UpdatePreloadArchive(ArchivePath, DefName, Source, Progress, Journal))
        Outcome.Updated.push_back(Name);
    }
  } catch (...) {
    if (!SameText(Source, DefPath))
      DeleteIfPresent(Source);
    throw;
  }
  if (!SameText(Source, DefPath) && platform::IsFile(Source))
    CheckOSError(platform::DeleteFile(Source));
  return Outcome;
}
