#include "base/WriteJournal.h"
#include "base/Exceptions.h"
#include "base/Paths.h"
#include "base/Records.h"
#include "base/Streams.h"
#include "platform/FileSystem.h"

#include <algorithm>

namespace {

enum TRecordType : uint32_t {
  kLength = 1,
  kBytes = 2,
  kBackup = 3,
  kCreated = 4,
  kNote = 5,
  kCommit = 6,
  kAbort = 7,
  kGarbage = 8,
};

// The largest record recovery accepts; a length field beyond it is damage, not a record.
constexpr uint32_t kMaxPayload = 1u << 26;

using TWriter = TRecordWriter;
using TReader = TRecordReader;

struct TRecord {
  uint32_t Type = 0;
  std::string File, Other;   // Backup: File and its backup; Note: the kept file in Other
  int64_t Number = 0;        // Length: the length; Bytes: the offset
  std::vector<uint8_t> Data; // Bytes: the old bytes; Note: the payload
  std::vector<TWriteJournal::TCommitFile> Files;
};

bool Decode(uint32_t Type, const std::vector<uint8_t>& Payload, TRecord& R) {
  TReader In(Payload);
  R.Type = Type;
  switch (Type) {
  case kLength:
    R.File = In.Text();
    R.Number = In.I64();
    break;
  case kBytes:
    R.File = In.Text();
    R.Number = In.I64();
    R.Data = In.Bytes();
    break;
  case kBackup:
    R.File = In.Text();
    R.Other = In.Text();
    break;
  case kCreated:
  case kGarbage:
    R.File = In.Text();
    break;
  case kNote:
    R.Data = In.Bytes();
    R.Other = In.Text();
    break;
  case kCommit:
    for (uint32_t N = In.U32(); N > 0 && In.More(); --N)
      R.Files.push_back({In.Text(), In.Text(), In.Text()});
    break;
  case kAbort:
    break;
  default:
    return false;
  }
  return In.Whole();
}

// The whole records of the journal's bytes, up to the first that is torn or damaged.
std::vector<TRecord> ReadRecords(const std::string& Path) {
  TMemoryStream Bytes;
  Bytes.LoadFromFile(Path);
  const std::vector<uint8_t>& B = Bytes.Bytes();
  std::vector<TRecord> Records;
  for (size_t At = 0; B.size() - At >= 12;) {
    TReader Head(std::vector<uint8_t>(B.begin() + static_cast<std::ptrdiff_t>(At),
                                      B.begin() + static_cast<std::ptrdiff_t>(At + 8)));
    uint32_t Type = Head.U32(), Length = Head.U32();
    if (Length > kMaxPayload || B.size() - At - 12 < Length)
      break;
    TReader Tail(std::vector<uint8_t>(B.begin() + static_cast<std::ptrdiff_t>(At + 8 + Length),
                                      B.begin() + static_cast<std::ptrdiff_t>(At + 12 + Length)));
    if (Tail.U32() != Crc32(B.data() + At, 8 + Length))
      break;
    TRecord R;
    if (!Decode(Type,
                std::vector<uint8_t>(B.begin() + static_cast<std::ptrdiff_t>(At + 8),
                                     B.begin() + static_cast<std::ptrdiff_t>(At + 8 + Length)),
                R))
      break;
    Records.push_back(std::move(R));
    At += 12 + Length;
  }
  return Records;
}

void FlushFile(const std::string& Path) {
  if (!platform::IsFile(Path))
    return;
  TFileStream File(Path, TFileAccess::ReadWrite);
  File.Flush();
}

void FlushFolders(const std::vector<std::string>& Files) {
  std::vector<std::string> Done;
  for (const std::string& File : Files) {
    std::string Folder = ExtractFilePath(File);
    if (std::find(Done.begin(), Done.end(), Folder) == Done.end()) {
      Done.push_back(Folder);
      CheckOSError(platform::FlushFolder(Folder));
    }
  }
}

void PutBack(const TRecord& R, std::vector<std::string>& Written) {
  switch (R.Type) {
  case kBytes:
    if (platform::IsFile(R.File)) {
      TFileStream File(R.File, TFileAccess::ReadWrite);
      File.SetPosition(R.Number);
      File.WriteBuffer(R.Data.data(), R.Data.size());
      Written.push_back(R.File);
    }
    break;
  case kLength:
    if (platform::IsFile(R.File)) {
      TFileStream File(R.File, TFileAccess::ReadWrite);
      if (File.Size() != R.Number)
        File.SetSize(R.Number);
      Written.push_back(R.File);
    }
    break;
  case kBackup:
    if (platform::IsFile(R.Other)) {
      CheckOSError(platform::ReplaceFile(R.Other, R.File));
      Written.push_back(R.File);
    }
    break;
  case kCommit: // one that does not stand: a file still under its backup name goes back
    for (const TWriteJournal::TCommitFile& File : R.Files)
      if (platform::IsFile(File.Backup)) {
        CheckOSError(platform::ReplaceFile(File.Backup, File.Target));
        Written.push_back(File.Target);
      }
    break;
  default:
    break;
  }
}

// Appends the records and flushes. A record that could not be written whole is cut off again, so that
// the records appended after it can be read.
void WriteRecords(const std::string& Path, const std::vector<std::vector<uint8_t>>& Records, bool Fresh) {
  TFileStream File(Path, Fresh ? TFileAccess::Create : TFileAccess::ReadWrite);
  int64_t End = File.Seek(0, SeekOrigin::End);
  try {
    for (const std::vector<uint8_t>& Record : Records)
      File.WriteBuffer(Record.data(), Record.size());
    File.Flush();
  } catch (const Exception&) {
    try {
      File.SetSize(End);
    } catch (const Exception&) {
    }
    throw;
  }
}

std::vector<uint8_t> Framed(uint32_t Type, const std::vector<uint8_t>& Payload) {
  TWriter Out;
  Out.U32(Type).U32(static_cast<uint32_t>(Payload.size()));
  std::vector<uint8_t> Record = Out.Result();
  Record.insert(Record.end(), Payload.begin(), Payload.end());
  uint32_t Crc = Crc32(Record.data(), Record.size());
  for (int I = 0; I < 4; ++I)
    Record.push_back(static_cast<uint8_t>(Crc >> (8 * I)));
  return Record;
}

} // namespace

TWriteJournal::TWriteJournal(std::string Path) : FPath(std::move(Path)) {}

void TWriteJournal::Reset() {
  FActive = false;
  FTouched.clear();
}

void TWriteJournal::Append(uint32_t Type, const std::vector<uint8_t>& Payload) {
  if (FActive) {
    WriteRecords(FPath, {Framed(Type, Payload)}, false);
    return;
  }
  // A journal from before (a transaction whose leftovers could not all be deleted) is finished first;
  // what is still left is carried into the new one.
  std::vector<std::vector<uint8_t>> Records;
  if (platform::IsFile(FPath))
    for (const std::string& Left : Recover(FPath).NotDeleted)
      Records.push_back(Framed(kGarbage, TWriter().Text(Left).Result()));
  Records.push_back(Framed(Type, Payload));
  WriteRecords(FPath, Records, true);
  // The journal's own name must be on the disk before any change relies on it.
  CheckOSError(platform::FlushFolder(ExtractFilePath(FPath)));
  FActive = true;
}

void TWriteJournal::BeforeWrite(const std::string& File, int64_t Offset, int64_t Count) {
  int64_t Length = 0;
  {
    TFileStream Stream(File, TFileAccess::Read);
    Length = Stream.Size();
  }
  if (FTouched.insert(File).second)
    Append(kLength, TWriter().Text(File).I64(Length).Result());
  if (Offset >= Length || Count <= 0)
    return;
  std::vector<uint8_t> Old(static_cast<size_t>(std::min(Count, Length - Offset)));
  {
    TFileStream Stream(File, TFileAccess::Read);
    Stream.SetPosition(Offset);
    Stream.ReadBuffer(Old.data(), Old.size());
  }
  Append(kBytes, TWriter().Text(File).I64(Offset).Bytes(Old).Result());
}

void TWriteJournal::BeforeReplace(const std::string& File, const std::string& Backup) {
  Append(kBackup, TWriter().Text(File).Text(Backup).Result());
}

void TWriteJournal::BeforeCreate(const std::string& File) {
  Append(kCreated, TWriter().Text(File).Result());
}

void TWriteJournal::Note(const std::vector<uint8_t>& Payload, const std::string& Kept) {
  Append(kNote, TWriter().Bytes(Payload).Text(Kept).Result());
}

void TWriteJournal::Commit(const std::vector<TCommitFile>& Files) {
  for (const std::string& File : FTouched)
    FlushFile(File);
  for (const TCommitFile& File : Files)
    FlushFile(File.Copy);
  TWriter Out;
  Out.U32(static_cast<uint32_t>(Files.size()));
  for (const TCommitFile& File : Files)
    Out.Text(File.Target).Text(File.Copy).Text(File.Backup);
  Append(kCommit, Out.Result());
}

void TWriteJournal::Abort() {
  Append(kAbort, {});
}

void TWriteJournal::Finish() {
  try {
    Recover(FPath);
  } catch (const Exception&) {
    // The commit is on the disk; whatever could not be tidied now is tidied by the next recovery.
  }
  Reset();
}

TWriteJournal::TRecovery TWriteJournal::Rollback() {
  TRecovery Result = Recover(FPath);
  Reset();
  return Result;
}

TWriteJournal::TRecovery TWriteJournal::Recover(const std::string& Path) {
  TRecovery Result;
  if (!platform::IsFile(Path))
    return Result;
  std::vector<TRecord> Records = ReadRecords(Path);
  // A commit stands when nothing but garbage follows it: a process that went on writing after a commit
  // (an Abort, or any other record) had undone it, or had found it undone.
  const TRecord* Commit = nullptr;
  for (const TRecord& R : Records)
    if (R.Type == kCommit)
      Commit = &R;
    else if (R.Type != kGarbage)
      Commit = nullptr;

  std::vector<std::string> Written, Garbage;
  if (Commit != nullptr) {
    for (const TCommitFile& File : Commit->Files)
      if (platform::IsFile(File.Copy)) {
        CheckOSError(platform::ReplaceFile(File.Copy, File.Target));
        Written.push_back(File.Target);
        Result.Outcome = TOutcome::RolledForward;
      }
    for (const TCommitFile& File : Commit->Files) {
      Garbage.push_back(File.Backup);
      Written.push_back(File.Target);
    }
    for (const TRecord& R : Records)
      if (R.Type == kBackup || R.Type == kNote)
        Garbage.push_back(R.Other);
  } else {
    for (auto It = Records.rbegin(); It != Records.rend(); ++It)
      PutBack(*It, Written);
    for (const TRecord& R : Records) {
      if (R.Type != kGarbage && R.Type != kCreated)
        Result.Outcome = TOutcome::RolledBack;
      if (R.Type == kNote && platform::IsFile(R.Other))
        Result.Notes.push_back({R.Data, R.Other});
    }
  }
  for (const TRecord& R : Records)
    if (R.Type == kCreated || R.Type == kGarbage)
      Garbage.push_back(R.File);

  for (const std::string& File : Written)
    FlushFile(File);
  FlushFolders(Written);
  for (const std::string& File : Garbage)
    if (!File.empty() && platform::IsFile(File) && platform::DeleteFile(File) != 0 &&
        std::find(Result.NotDeleted.begin(), Result.NotDeleted.end(), File) == Result.NotDeleted.end())
      Result.NotDeleted.push_back(File);

  if (Result.NotDeleted.empty()) {
    CheckOSError(platform::DeleteFile(Path));
  } else {
    // Everything is in place; the journal now only names what is still to be deleted.
    std::vector<std::vector<uint8_t>> Left;
    for (const std::string& File : Result.NotDeleted)
      Left.push_back(Framed(kGarbage, TWriter().Text(File).Result()));
    WriteRecords(Path, Left, true);
  }
  CheckOSError(platform::FlushFolder(ExtractFilePath(Path)));
  return Result;
}
