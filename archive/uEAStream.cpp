#include "archive/uEAStream.h"
#include "base/ByteOrder.h"
#include "base/Exceptions.h"
#include "base/FileSetCommit.h"
#include "base/Streams.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <limits>
#include <mutex>
#include <set>
#include <vector>

namespace {

constexpr uint32_t kHeaderBytes = 16;
constexpr size_t kMaxNameBytes = 259;
constexpr uint16_t kDataAlignment = 64;

void WriteBE32Pair(TStream& Stream, uint32_t First, uint32_t Second) {
  uint8_t Record[8];
  StoreBE32(Record, First);
  StoreBE32(Record + 4, Second);
  Stream.WriteBuffer(Record, sizeof Record);
}

void WriteName(TStream& Stream, const std::string& Name) {
  Stream.WriteBuffer(Name.data(), Name.size());
  const uint8_t Zero = 0;
  Stream.WriteBuffer(&Zero, 1);
}

// Archive positions are 32-bit; a file that grows past that cannot be described and is refused.
uint32_t ArchivePosition(int64_t Position) {
  if (Position < 0 || Position > std::numeric_limits<uint32_t>::max())
    throw Exception("Archive too large");
  return static_cast<uint32_t>(Position);
}

std::string ReadName(TStream& Source) {
  std::string Name;
  for (;;) {
    char Byte;
    Source.ReadBuffer(&Byte, 1);
    if (Byte == '\0')
      return Name;
    if (Name.size() < kMaxNameBytes)
      Name.push_back(Byte);
  }
}

// The last way back when a rename back is refused; the kept file stays, as the caller asked.
void CopyBytes(const std::string& Source, const std::string& Target) {
  try {
    CopyWholeFile(Source, Target);
  } catch (const Exception&) {
    // The rename's own error is what the caller gets, and the bytes stay under Source.
  }
}

// Deletes a scratch file that a failed operation leaves behind; the operation's own error is what the
// caller gets.
void DiscardScratch(const std::string& Path) {
  DeleteIfPresent(Path);
}

} // namespace

// ---- TEAStreamFile ----

TEAStreamFile::TEAStreamFile(TEAStream* Owner) : Owner(Owner) {}

void TEAStreamFile::LoadFromStream(TStream& Source) {
  int64_t Start = Source.Position();
  int64_t End = Source.Size();
  if (Start >= End)
    return;
  uint32_t NewSize = ArchivePosition(End - Start);
  TFileStream Archive(Owner->FileName, TFileAccess::ReadWrite);
  Archive.Seek(0, SeekOrigin::End);
  PadStream(Archive, kDataAlignment);
  uint32_t NewStart = ArchivePosition(Archive.Position());
  ArchivePosition(int64_t(NewStart) + NewSize);
  Archive.CopyFrom(Source, NewSize);
  Archive.SetPosition(DirectoryPos);
  WriteBE32Pair(Archive, NewStart, NewSize);
  Offset = NewStart;
  Size = NewSize;
}

void TEAStreamFile::SaveToStream(TStream& Dest) {
  if (!FDataSource.empty()) {
    TFileStream Source(FDataSource, TFileAccess::Read);
    Dest.CopyFrom(Source, Size);
    return;
  }
  TFileStream Archive(Owner->FileName, TFileAccess::Read);
  Archive.SetPosition(Offset);
  Dest.CopyFrom(Archive, Size);
}

void TEAStreamFile::LoadFromFile(const std::string& Path) {
  TFileStream Source(Path, TFileAccess::Read);
  LoadFromStream(Source);
}

void TEAStreamFile::SaveToFile(const std::string& Path) {
  TFileStream Dest(Path, TFileAccess::Create);
  SaveToStream(Dest);
}

// ---- TEAStream ----

TEAStream::TEAStream() {
  TEAStream::Clear();
}

TEAStream::~TEAStream() {
  FreeFiles();
}

void TEAStream::Clear() {
  FreeFiles();
  FileName = MakeTempFileName("~bigf");
}

void TEAStream::FreeFiles() {
  FFiles.Clear();
}

void TEAStream::SortFiles() {
  FFiles.Sort(CompareFilesByOffset);
}

void TEAStream::LoadFromStream(TStream& Source) {
  Clear();
  try {
    uint8_t Header[kHeaderBytes];
    Source.ReadBuffer(Header, sizeof Header);
    int32_t Count = static_cast<int32_t>(LoadBE32(Header + 8));
    HeaderSize = LoadBE32(Header + 12);
    for (int32_t I = 0; I < Count; ++I) {
      auto Entry = std::make_unique<TEAStreamFile>(this);
      Entry->DirectoryPos = ArchivePosition(Source.Position());
      uint8_t Record[8];
      Source.ReadBuffer(Record, sizeof Record);
      Entry->Offset = LoadBE32(Record);
      Entry->Size = LoadBE32(Record + 4);
      Entry->Name = ReadName(Source);
      FFiles.Add(std::move(Entry));
    }
  } catch (...) {
    Clear();
    throw;
  }
}

void TEAStream::CheckRebuildable() const {
  std::vector<const TEAStreamFile*> Sorted;
  for (int32_t I = 0; I < FileCount(); ++I)
    if (Files(I)->Size != 0)
      Sorted.push_back(Files(I));
  std::sort(Sorted.begin(), Sorted.end(), [](const TEAStreamFile* A, const TEAStreamFile* B) {
    return A->Offset != B->Offset ? A->Offset < B->Offset : A->Size < B->Size;
  });
  for (size_t I = 1; I < Sorted.size(); ++I) {
    const TEAStreamFile& Prev = *Sorted[I - 1];
    const TEAStreamFile& Entry = *Sorted[I];
    if (Entry.Offset == Prev.Offset && Entry.Size == Prev.Size)
      continue;
    if (Entry.Offset < uint64_t(Prev.Offset) + Prev.Size)
      throw Exception("Cannot rebuild archive \"" + platform::FullPath(FileName) + "\". Its entries \"" +
                      Prev.Name + "\" and \"" + Entry.Name + "\" share part of their data");
  }
}

// Written straight into Dest, which every stream of the system allows: header and directory first with
// zero records, then the data, then header and directory again once the offsets are known. Positions
// count from Dest's position at the start.
void TEAStream::SaveToStream(TStream& Dest) {
  CheckRebuildable();
  const int64_t Base = Dest.Position();
  auto Here = [&] { return ArchivePosition(Dest.Position() - Base); };
  SortFiles();
  auto Directory = [&](bool Final) {
    TMemoryStream Out;
    uint8_t Header[kHeaderBytes] = {};
    Out.WriteBuffer(Header, sizeof Header);
    for (int32_t I = 0; I < FileCount(); ++I) {
      TEAStreamFile* Entry = Files(I);
      Entry->NewDirectoryPos = ArchivePosition(Out.Position());
      WriteBE32Pair(Out, Final ? Entry->NewOffset : 0, Final ? Entry->Size : 0);
      WriteName(Out, Entry->Name);
    }
    return Out;
  };
  TMemoryStream Placeholder = Directory(false);
  Dest.WriteBuffer(Placeholder.Memory(), Placeholder.Bytes().size());
  uint32_t NewHeaderSize = Here();
  static const uint8_t Zeros[kDataAlignment] = {};
  const TEAStreamFile* LastCopied = nullptr;
  for (int32_t I = 0; I < FileCount(); ++I) {
    TEAStreamFile* Entry = Files(I);
    // Sorted and checked, entries with data are either the same range as the last copied or after it.
    if (LastCopied != nullptr && Entry->Size != 0 && Entry->Offset == LastCopied->Offset &&
        Entry->Size == LastCopied->Size) {
      Entry->NewOffset = LastCopied->NewOffset;
      continue;
    }
    if (uint32_t Gap = Here() % kDataAlignment)
      Dest.WriteBuffer(Zeros, kDataAlignment - Gap);
    Entry->NewOffset = Here();
    Entry->SaveToStream(Dest);
    if (Entry->Size != 0)
      LastCopied = Entry;
  }
  uint32_t TotalSize = Here();
  TMemoryStream Final = Directory(true);
  uint8_t* Header = Final.Memory();
  Header[0] = 'B', Header[1] = 'I', Header[2] = 'G', Header[3] = 'F';
  StoreLE32(Header + 4, TotalSize);
  StoreBE32(Header + 8, static_cast<uint32_t>(FileCount()));
  StoreBE32(Header + 12, NewHeaderSize);
  Dest.SetPosition(Base);
  Dest.WriteBuffer(Final.Memory(), Final.Bytes().size());
  Dest.SetPosition(Base + TotalSize);
}

bool TEAStream::IsCompact() const {
  TMemoryStream Expected;
  uint8_t Header[kHeaderBytes] = {'B', 'I', 'G', 'F'};
  Expected.WriteBuffer(Header, sizeof Header);
  for (int32_t I = 0; I < FileCount(); ++I) {
    WriteBE32Pair(Expected, Files(I)->Offset, Files(I)->Size);
    WriteName(Expected, Files(I)->Name);
  }
  // Where each entry's data must start and end, in list order, for the rebuild to write the same bytes.
  uint32_t End = ArchivePosition(Expected.Size());
  std::vector<std::pair<uint32_t, uint32_t>> Gaps;
  for (int32_t I = 0; I < FileCount(); ++I) {
    uint32_t Start = (End + kDataAlignment - 1) / kDataAlignment * kDataAlignment;
    // Equal offsets (empty entries) may come out of the rebuild's sort in another order.
    if (Files(I)->Offset != Start || (!Gaps.empty() && Start == Gaps.back().second))
      return false;
    Gaps.push_back({End, Start});
    if (int64_t(Start) + Files(I)->Size > std::numeric_limits<uint32_t>::max())
      return false;
    End = Start + Files(I)->Size;
  }
  StoreLE32(Expected.Memory() + 4, End);
  StoreBE32(Expected.Memory() + 8, static_cast<uint32_t>(FileCount()));
  StoreBE32(Expected.Memory() + 12, static_cast<uint32_t>(Expected.Size()));
  TFileStream Archive(FileName, TFileAccess::Read);
  if (Archive.Size() != End)
    return false;
  std::vector<uint8_t> OnDisk(Expected.Bytes().size());
  Archive.ReadBuffer(OnDisk.data(), OnDisk.size());
  if (OnDisk != Expected.Bytes())
    return false;
  uint8_t Gap[kDataAlignment];
  for (auto [From, To] : Gaps) {
    Archive.SetPosition(From);
    Archive.ReadBuffer(Gap, To - From);
    for (uint32_t I = 0; I < To - From; ++I)
      if (Gap[I] != 0)
        return false;
  }
  return true;
}

void TEAStream::LoadFromFile(const std::string& Path) {
  {
    TFileStream Source(Path, TFileAccess::Read);
    TBufferedReader Buffered(Source);
    LoadFromStream(Buffered);
  }
  FileName = Path;
}

void TEAStream::SaveToFile(const std::string& Path) {
  CheckRebuildable();
  TFileStream Dest(Path, TFileAccess::Create);
  SaveToStream(Dest);
  // A rebuilt archive is written to be put in place of another: its bytes must be on the disk first.
  Dest.Flush();
}

TEAStreamFile* TEAStream::FindFileByOffset(uint32_t Offset) const {
  for (int32_t I = 0; I < FileCount(); ++I) {
    TEAStreamFile* Entry = Files(I);
    if (Entry->Offset <= Offset && Offset - Entry->Offset < Entry->Size)
      return Entry;
  }
  return nullptr;
}

TEAStreamFile& TEAStream::FileNamed(const std::string& Name) const {
  for (int32_t I = 0; I < FileCount(); ++I)
    if (Files(I)->Name == Name)
      return *Files(I);
  throw Exception("No entry " + Name + " in " + FileName);
}

TEAStreamFile* TEAStream::AddFile(const std::string& SourceFile, const std::string& EntryName) {
  return AddFiles({{SourceFile, EntryName}}).front();
}

std::vector<TEAStreamFile*> TEAStream::AddFiles(const std::vector<TNewEntry>& Entries) {
  // The new entries' data goes straight from their files into the rebuilt copy; the archive file is not
  // touched until that copy replaces it, so a failure at any step leaves the archive as it was. Each new
  // entry starts where the one before ends, so that they sort after the existing entries, in order, and
  // overlap nothing.
  std::vector<std::unique_ptr<TEAStreamFile>> Made;
  int64_t End = 0;
  {
    TFileStream Archive(FileName, TFileAccess::Read);
    End = Archive.Size();
  }
  uint32_t Directory = HeaderSize;
  for (const TNewEntry& New : Entries) {
    auto Entry = std::make_unique<TEAStreamFile>(this);
    Entry->Offset = ArchivePosition(End);
    Entry->Name = New.EntryName;
    {
      TFileStream Source(New.SourceFile, TFileAccess::Read);
      Entry->Size = ArchivePosition(Source.Size());
    }
    End = ArchivePosition(int64_t(Entry->Offset) + Entry->Size);
    Entry->DirectoryPos = Directory;
    Directory += 9 + static_cast<uint32_t>(New.EntryName.size());
    Entry->FDataSource = New.SourceFile;
    Made.push_back(std::move(Entry));
  }
  // Beside the archive, so that putting it in place is a rename within one folder.
  std::string Rebuilt = TFileSetCommit::NewName(FileName);
  std::vector<TEAStreamFile*> Added;
  for (std::unique_ptr<TEAStreamFile>& Entry : Made)
    Added.push_back(FFiles.Add(std::move(Entry)));
  try {
    SaveToFile(Rebuilt);
    if (!KeepReplacedAs.empty() && !platform::IsFile(KeepReplacedAs)) {
      CheckOSError(platform::MoveFile(FileName, KeepReplacedAs));
      if (int Error = platform::MoveFile(Rebuilt, FileName)) {
        if (platform::MoveFile(KeepReplacedAs, FileName) != 0)
          CopyBytes(KeepReplacedAs, FileName);
        throw EOSError(Error);
      }
    } else {
      KeepReplacedAs.clear();
      CheckOSError(platform::ReplaceFile(Rebuilt, FileName));
    }
  } catch (...) {
    for (TEAStreamFile* Entry : Added)
      FFiles.Delete(FFiles.IndexOf(Entry));
    ForgetPendingOffsets();
    DiscardScratch(Rebuilt);
    throw;
  }
  for (TEAStreamFile* Entry : Added)
    Entry->FDataSource.clear();
  HeaderSize = Directory;
  return Added;
}

void TEAStream::CommitOffsets() {
  for (int32_t I = 0; I < FileCount(); ++I) {
    TEAStreamFile* Entry = Files(I);
    Entry->DirectoryPos = Entry->NewDirectoryPos;
    Entry->Offset = Entry->NewOffset;
    Entry->NewDirectoryPos = 0;
    Entry->NewOffset = 0;
  }
}

void TEAStream::ForgetPendingOffsets() {
  for (int32_t I = 0; I < FileCount(); ++I) {
    Files(I)->NewDirectoryPos = 0;
    Files(I)->NewOffset = 0;
  }
}

// ---- helpers ----

int CompareFilesByOffset(const TEAStreamFile& A, const TEAStreamFile& B) {
  return A.Offset < B.Offset ? -1 : A.Offset > B.Offset ? 1 : 0;
}

void PadStream(TStream& Stream, uint16_t Alignment) {
  if (Alignment == 0)
    return;
  static const uint8_t Zeros[65535] = {};
  int64_t Remainder = Stream.Position() % Alignment;
  if (Remainder != 0)
    Stream.WriteBuffer(Zeros, static_cast<size_t>(Alignment - Remainder));
}

std::string MakeTempFileName(const std::string& Prefix) {
  // The file the system makes unique is deleted at once, so the system may give its name again (Windows
  // counts names from the clock's tick) while the first caller still uses it, or a name made from it:
  // no name goes out twice. One given before is held as a file until a new one is found.
  static std::mutex Lock;
  static std::set<std::string> Given;
  std::string Folder;
  CheckOSError(platform::TempFolder(Folder));
  std::lock_guard<std::mutex> Guard(Lock);
  std::vector<std::string> Held;
  std::string Name;
  int Error = 0;
  while ((Error = platform::CreateUniqueFile(Folder, Prefix, Name)) == 0 && !Given.insert(Name).second)
    Held.push_back(Name);
  for (const std::string& File : Held)
    platform::DeleteFile(File);
  CheckOSError(Error);
  platform::DeleteFile(Name);
  return Name;
}
