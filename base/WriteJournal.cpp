#include "base/WriteJournal.h"
#include "base/ByteOrder.h"
#include "base/Exceptions.h"
#include "base/Paths.h"
#include "base/Records.h"
#include "base/Streams.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <map>
#include <set>

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
  kMoved = 9,
};

enum TRole : uint8_t {
  kSubject = 1,
  kMember = 2,
  kKept = 3,
  kSong = 4,
};

// The scratch names a file may take besides its own.
enum TSuffix : unsigned {
  kPlain = 1,    // the file's own name
  kNewCopy = 2,  // ".~new"
  kOldCopy = 4,  // ".~old", ".~old2", ...
  kUndoCopy = 8, // ".~undo", ".~undo2", ...
};

// The archives' offsets and sizes are 32-bit: no length or offset of a file a journal names goes past it.
constexpr int64_t kMaxFileSize = 0xFFFFFFFFll;
// More files than any commit puts in place.
constexpr uint32_t kMaxCommitFiles = 4096;

// Where a journal lies and what it may name.
struct TPlace {
  std::string Folder;  // the journal's folder, absolute, in Lexical form with a '/' at its end
  std::string Subject; // the subject's name
  const TJournalScope& Scope;
  std::string SongFolder() const { return Subject + ".~songs/"; }
};

// Path made absolute, with '/' between its parts and no "." or ".." part left, so that two spellings of
// one path compare equal.
std::string Lexical(const std::string& Path) {
  std::string Full = platform::FullPath(Path);
  std::replace(Full.begin(), Full.end(), '\\', '/');
  std::vector<std::string> Parts;
  // A POSIX root, or the two delimiters in front of a Windows network path, stay.
  std::string Root = Full.rfind("//", 0) == 0 ? "//" : Full.rfind('/', 0) == 0 ? "/" : "";
  for (size_t Start = 0; Start <= Full.size();) {
    size_t End = std::min(Full.find('/', Start), Full.size());
    std::string Part = Full.substr(Start, End - Start);
    Start = End + 1;
    if (Part.empty() || Part == ".")
      continue;
    if (Part == ".." && Parts.size() > (Root.empty() ? 1u : 0u)) // a drive ("C:") stays
      Parts.pop_back();
    else if (Part != "..")
      Parts.push_back(Part);
  }
  std::string Result = Root;
  for (const std::string& Part : Parts) {
    if (!Result.empty() && Result.back() != '/')
      Result += '/';
    Result += Part;
  }
  return Result;
}

TPlace PlaceOf(const std::string& JournalPath, const TJournalScope& Scope) {
  std::string Full = Lexical(JournalPath);
  size_t Slash = Full.rfind('/');
  std::string Name = Full.substr(Slash + 1);
  const std::string Ending = ".~journal";
  if (Name.size() > Ending.size() && Name.compare(Name.size() - Ending.size(), Ending.size(), Ending) == 0)
    Name.erase(Name.size() - Ending.size());
  return {Full.substr(0, Slash + 1), Name, Scope};
}

bool StartsWith(const std::string& Text, const std::string& Start) {
  return Text.size() > Start.size() && Text.compare(0, Start.size(), Start) == 0;
}

// A relative name in the one form records hold: '/' between its parts, none of them empty, "." or "..".
bool IsCanonical(const std::string& Name) {
  if (Name.empty() || Name.find('\\') != std::string::npos || !IsPathInsideFolder(Name))
    return false;
  for (size_t Start = 0; Start <= Name.size();) {
    size_t End = std::min(Name.find('/', Start), Name.size());
    std::string Part = Name.substr(Start, End - Start);
    if (Part.empty() || Part == "." || Part == "..")
      return false;
    Start = End + 1;
  }
  return true;
}

// Splits a scratch suffix off Name's last part; returns which it was.
TSuffix SplitSuffix(const std::string& Name, std::string& Base) {
  size_t At = Name.rfind(".~");
  if (At == std::string::npos || Name.find('/', At) != std::string::npos) {
    Base = Name;
    return kPlain;
  }
  std::string Tail = Name.substr(At + 2);
  auto Numbered = [&](const std::string& Word) {
    if (Tail.compare(0, Word.size(), Word) != 0 || Tail.size() > Word.size() + 4)
      return false;
    return std::all_of(Tail.begin() + static_cast<std::ptrdiff_t>(Word.size()), Tail.end(),
                       [](char C) { return C >= '0' && C <= '9'; });
  };
  Base = Name.substr(0, At);
  if (Tail == "new")
    return kNewCopy;
  if (Numbered("old"))
    return kOldCopy;
  if (Numbered("undo"))
    return kUndoCopy;
  Base = Name;
  return kPlain;
}

// The role of a name without its scratch suffix; 0 for none. Members are asked of the scope only when
// reading: a writer names the files it was given, and the subject may not name them yet.
uint8_t RoleOf(const TPlace& Place, const std::string& Base, bool Reading) {
  if (Base == Place.Subject)
    return kSubject;
  if (!Place.Scope.KeptFolder.empty() && StartsWith(Base, Place.Scope.KeptFolder + "/"))
    return kKept;
  if (StartsWith(Base, Place.SongFolder()))
    return Base.find('/', Place.SongFolder().size()) == std::string::npos ? kSong : 0;
  // A member is never one of the journal's own files, nor a scratch name of any kind.
  if (ExtractFileName(Base).find(".~") != std::string::npos)
    return 0;
  if (Reading && Place.Scope.IsMember && !Place.Scope.IsMember(Base))
    return 0;
  return kMember;
}

std::string Resolve(const TPlace& Place, const std::string& Name) {
  std::string Path = Place.Folder + Name;
  std::replace(Path.begin(), Path.end(), '/', platform::PathDelimiter());
  return Path;
}

// A file as a record names it.
struct TNamed {
  uint8_t Role = 0;
  std::string Name; // relative, with its suffix
  std::string Base; // without it
  TSuffix Suffix = kPlain;
  std::string Path; // resolved in the journal's folder
};

struct TRecord {
  uint32_t Type = 0;
  TNamed File, Other;        // Backup: File and its backup; Moved: File and where it was; Note: the kept file
  int64_t Number = 0;        // Length: the length; Bytes: the offset
  std::vector<uint8_t> Data; // Bytes: the old bytes; Note: the payload
  std::vector<TNamed> Files; // Commit: target, copy and backup of each file
};

// Reads the payload of records, refusing anything a journal of this program never writes.
class TRecordCheck {
public:
  TRecordCheck(const TPlace& Place, const std::vector<uint8_t>& Payload) : FPlace(Place), FIn(Payload) {}

  // A name of one of Roles, with one of Suffixes; raises the reason otherwise.
  TNamed File(std::initializer_list<uint8_t> Roles, unsigned Suffixes) {
    TNamed N;
    N.Role = FIn.U8();
    N.Name = FIn.Text();
    if (!FIn.More() && !FIn.Whole())
      throw Exception("a record is cut short");
    if (!IsCanonical(N.Name))
      throw Exception("it names \"" + Printable(N.Name) + "\", which is not a file of its folder");
    N.Suffix = SplitSuffix(N.Name, N.Base);
    uint8_t Role = RoleOf(FPlace, N.Base, true);
    if (Role == 0 || Role != N.Role || std::find(Roles.begin(), Roles.end(), Role) == Roles.end() ||
        (N.Suffix & Suffixes) == 0)
      throw Exception("it names \"" + Printable(N.Name) + "\", which it may not change");
    N.Path = Resolve(FPlace, N.Name);
    return N;
  }
  // A file as File reads it, or none: role 0 and an empty name.
  TNamed OptionalFile(std::initializer_list<uint8_t> Roles, unsigned Suffixes) {
    if (FIn.Left() >= 5 && FIn.Peek() == 0) {
      FIn.U8();
      if (!FIn.Text().empty())
        throw Exception("a record names a file of no role");
      return {};
    }
    return File(Roles, Suffixes);
  }
  // The same file as Of under another suffix.
  TNamed SameAs(const TNamed& Of, unsigned Suffixes) {
    TNamed N = File({Of.Role}, Suffixes);
    if (N.Base != Of.Base)
      throw Exception("it names \"" + Printable(N.Name) + "\" as a copy of \"" + Printable(Of.Name) + "\"");
    return N;
  }
  int64_t Number(int64_t Low, int64_t High, const char* What) {
    int64_t N = FIn.I64();
    if (N < Low || N > High)
      throw Exception(std::string("it gives ") + What + " " + std::to_string(N));
    return N;
  }
  TRecordReader& In() { return FIn; }

  static std::string Printable(const std::string& Name) {
    std::string Text;
    for (char C : Name.substr(0, 200))
      Text += static_cast<unsigned char>(C) < 0x20 || C == 0x7F ? '?' : C;
    return Text;
  }

private:
  const TPlace& FPlace;
  TRecordReader FIn;
};

constexpr unsigned kAnyScratch = kNewCopy | kOldCopy | kUndoCopy;

TRecord Decode(const TPlace& Place, uint32_t Type, const std::vector<uint8_t>& Payload) {
  TRecordCheck Check(Place, Payload);
  TRecord R;
  R.Type = Type;
  switch (Type) {
  case kLength:
    R.File = Check.File({kSubject, kMember}, kPlain);
    R.Number = Check.Number(0, kMaxFileSize, "a length of");
    break;
  case kBytes:
    R.File = Check.File({kSubject, kMember}, kPlain);
    R.Number = Check.Number(0, kMaxFileSize, "an offset of");
    R.Data = Check.In().Bytes();
    if (R.Number + static_cast<int64_t>(R.Data.size()) > kMaxFileSize)
      throw Exception("it writes past the largest archive");
    break;
  case kBackup:
    R.File = Check.File({kSubject, kMember}, kPlain);
    R.Other = Check.SameAs(R.File, kOldCopy | kUndoCopy);
    break;
  case kMoved:
    R.File = Check.File({kSubject, kMember}, kPlain);
    R.Other = Check.SameAs(R.File, kOldCopy | kUndoCopy);
    break;
  case kCreated:
    R.File = Check.File({kSubject, kMember, kKept}, kNewCopy);
    break;
  case kGarbage: // a scratch name, or a kept song
    R.File = Check.File({kSubject, kMember, kKept, kSong}, kPlain | kAnyScratch);
    if (R.File.Role != kSong && R.File.Suffix == kPlain)
      throw Exception("it deletes \"" + TRecordCheck::Printable(R.File.Name) + "\"");
    break;
  case kNote:
    R.Data = Check.In().Bytes();
    R.Other = Check.OptionalFile({kSong}, kPlain);
    break;
  case kCommit: {
    uint32_t Count = Check.In().U32();
    if (Count > kMaxCommitFiles)
      throw Exception("it commits " + std::to_string(Count) + " files");
    for (uint32_t I = 0; I < Count && Check.In().More(); ++I) {
      TNamed Target = Check.File({kSubject, kMember, kKept}, kPlain);
      TNamed Copy = Check.SameAs(Target, kNewCopy);
      TNamed Backup = Check.SameAs(Target, kOldCopy);
      R.Files.insert(R.Files.end(), {Target, Copy, Backup});
    }
    if (R.Files.size() != 3 * size_t(Count))
      throw Exception("a record is cut short");
    break;
  }
  case kAbort:
    break;
  default:
    throw Exception("a record is of an unknown kind (" + std::to_string(Type) + ")");
  }
  if (!Check.In().Whole())
    throw Exception("a record is cut short");
  return R;
}

uint32_t U32At(const std::vector<uint8_t>& B, size_t At) {
  return LoadLE32(B.data() + At);
}

// The whole records of the journal's bytes, up to the first that is torn (its length runs past the end, or
// its checksum fails). Raises the reason when a whole record is not one this program writes.
std::vector<TRecord> ReadRecords(const TPlace& Place, const std::vector<uint8_t>& B) {
  std::vector<TRecord> Records;
  for (size_t At = 0; B.size() - At >= 12;) {
    uint32_t Type = U32At(B, At), Length = U32At(B, At + 4);
    if (Length > TWriteJournal::kMaxPayload || B.size() - At - 12 < Length)
      break;
    if (U32At(B, At + 8 + Length) != Crc32(B.data() + At, 8 + Length))
      break;
    auto Payload = B.begin() + static_cast<std::ptrdiff_t>(At + 8);
    Records.push_back(Decode(Place, Type, std::vector<uint8_t>(Payload, Payload + Length)));
    At += 12 + Length;
  }
  return Records;
}

int64_t SizeOf(const std::string& Path) {
  TFileStream File(Path, TFileAccess::Read);
  return File.Size();
}

// The commit that stands, if any: one followed by nothing but garbage. A process that went on writing
// after a commit (an Abort, or any other record) had undone it, or had found it undone.
const TRecord* StandingCommit(const std::vector<TRecord>& Records) {
  const TRecord* Commit = nullptr;
  for (const TRecord& R : Records)
    if (R.Type == kCommit)
      Commit = &R;
    else if (R.Type != kGarbage)
      Commit = nullptr;
  return Commit;
}

// Checks a rollback's writes against the files as they are: every file's length comes before its old
// bytes, and they go back only within a file that the name holds now or that a backup puts back.
void CheckAgainstFiles(const std::vector<TRecord>& Records) {
  std::set<std::string> Measured;
  for (const TRecord& R : Records) {
    if (R.Type == kLength) {
      Measured.insert(R.File.Path);
    } else if (R.Type == kBytes) {
      if (Measured.count(R.File.Path) == 0)
        throw Exception("it writes into \"" + TRecordCheck::Printable(R.File.Name) + "\" before its length");
      int64_t Bound = platform::IsFile(R.File.Path) ? SizeOf(R.File.Path) : 0;
      for (const TRecord& B : Records)
        if ((B.Type == kBackup || B.Type == kMoved) && B.File.Path == R.File.Path &&
            platform::IsFile(B.Other.Path))
          Bound = std::max(Bound, SizeOf(B.Other.Path));
      if (R.Number + static_cast<int64_t>(R.Data.size()) > Bound)
        throw Exception("it writes " + std::to_string(R.Data.size()) + " bytes at " +
                        std::to_string(R.Number) + " into \"" + TRecordCheck::Printable(R.File.Name) +
                        "\", past its end");
    }
  }
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

void SeekTo(TFileStream& File, int64_t Offset, const std::string& Path) {
  if (File.Seek(Offset, SeekOrigin::Begin) != Offset)
    throw Exception("Cannot write \"" + Path + "\" at offset " + std::to_string(Offset));
}

void PutBack(const TRecord& R, std::vector<std::string>& Written) {
  switch (R.Type) {
  case kBytes:
    if (platform::IsFile(R.File.Path)) {
      TFileStream File(R.File.Path, TFileAccess::ReadWrite);
      SeekTo(File, R.Number, R.File.Path);
      File.WriteBuffer(R.Data.data(), R.Data.size());
      Written.push_back(R.File.Path);
    }
    break;
  // A length only ever cuts. One past the file's end was taken before the transaction cut the file
  // (an import undone), and the bytes cut then are ones that an earlier length cuts again.
  case kLength:
    if (platform::IsFile(R.File.Path)) {
      TFileStream File(R.File.Path, TFileAccess::ReadWrite);
      if (File.Size() > R.Number)
        File.SetSize(R.Number);
      Written.push_back(R.File.Path);
    }
    break;
  case kBackup:
    if (platform::IsFile(R.Other.Path)) {
      CheckOSError(platform::ReplaceFile(R.Other.Path, R.File.Path));
      Written.push_back(R.File.Path);
    }
    break;
  case kMoved:
    if (platform::IsFile(R.File.Path)) {
      CheckOSError(platform::ReplaceFile(R.File.Path, R.Other.Path));
      Written.push_back(R.Other.Path);
    }
    break;
  case kCommit: // one that does not stand: a file still under its backup name goes back
    for (size_t K = 0; K < R.Files.size(); K += 3)
      if (platform::IsFile(R.Files[K + 2].Path)) {
        CheckOSError(platform::ReplaceFile(R.Files[K + 2].Path, R.Files[K].Path));
        Written.push_back(R.Files[K].Path);
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
  if (End < 0)
    throw EWriteError();
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
  TRecordWriter Out;
  Out.U32(Type).U32(static_cast<uint32_t>(Payload.size()));
  std::vector<uint8_t> Record = Out.Result();
  Record.insert(Record.end(), Payload.begin(), Payload.end());
  PutLE32(Record, Crc32(Record.data(), Record.size()));
  return Record;
}

std::vector<uint8_t> GarbageRecord(const TNamed& File) {
  return Framed(kGarbage, TRecordWriter().U8(File.Role).Text(File.Name).Result());
}

// Renames the journal at Path to a free dated name beside it and returns that name.
std::string SetAside(const std::string& Path) {
  std::string Name = SetAsideName(Path);
  CheckOSError(platform::MoveFile(Path, Name));
  CheckOSError(platform::FlushFolder(ExtractFilePath(Path)));
  return Name;
}

// Deletes the files of the songs folder that no note still needs, and the folder once it is empty: a
// process that died between keeping a song and noting it leaves a song that no journal names.
void SweepSongs(const TPlace& Place, const std::vector<TWriteJournal::TNote>& Needed) {
  std::string Songs = Place.SongFolder();
  std::string Folder = Resolve(Place, Songs.substr(0, Songs.size() - 1));
  std::vector<std::string> Names;
  if (!platform::IsFolder(Folder) || platform::FilesInFolder(Folder, Names) != 0)
    return;
  for (const std::string& Name : Names) {
    std::string Path = Resolve(Place, Songs + Name);
    if (std::none_of(Needed.begin(), Needed.end(),
                     [&](const TWriteJournal::TNote& N) { return N.Kept == Path; }))
      platform::DeleteFile(Path);
  }
  platform::RemoveEmptyFolder(Folder);
}

// The journal's records, checked; raises the reason it cannot be trusted.
std::vector<TRecord> CheckedRecords(const TPlace& Place, const std::string& Path) {
  std::vector<uint8_t> Bytes;
  {
    TFileStream File(Path, TFileAccess::Read);
    int64_t Size = File.Size();
    if (Size > TWriteJournal::kMaxJournalSize)
      throw Exception("it is " + std::to_string(Size) + " bytes long, more than any change writes");
    Bytes.resize(static_cast<size_t>(Size));
    File.ReadBuffer(Bytes.data(), Bytes.size());
  }
  std::vector<TRecord> Records = ReadRecords(Place, Bytes);
  if (StandingCommit(Records) == nullptr)
    CheckAgainstFiles(Records);
  return Records;
}

} // namespace

TWriteJournal::TWriteJournal(std::string Path, TJournalScope Scope)
    : FPath(std::move(Path)), FScope(std::move(Scope)) {}

void TWriteJournal::Reset() {
  FActive = false;
  FTouched.clear();
  FMeasured.clear();
}

std::string TWriteJournal::NameIn(const std::string& Folder, const std::string& Path) {
  std::string Base = Lexical(Folder) + "/", Full = Lexical(Path);
  return StartsWith(Full, Base) ? Full.substr(Base.size()) : "";
}

std::string TWriteJournal::SubjectPath() const {
  const std::string Ending = ".~journal";
  return FPath.size() > Ending.size() ? FPath.substr(0, FPath.size() - Ending.size()) : FPath;
}

void TWriteJournal::Name(TRecordWriter& Out, const std::string& File) const {
  TPlace Place = PlaceOf(FPath, FScope);
  std::string Full = Lexical(File);
  std::string Name = StartsWith(Full, Place.Folder) ? Full.substr(Place.Folder.size()) : "";
  std::string Base;
  SplitSuffix(Name, Base);
  uint8_t Role = IsCanonical(Name) ? RoleOf(Place, Base, false) : 0;
  if (Role == 0)
    throw Exception("The file \"" + File + "\" is not one that the journal \"" + FPath + "\" may name");
  Out.U8(Role).Text(Name);
}

void TWriteJournal::Append(uint32_t Type, const TRecordWriter& Payload) {
  if (FActive) {
    WriteRecords(FPath, {Framed(Type, Payload.Result())}, false);
    return;
  }
  // A journal from before (a transaction whose leftovers could not all be deleted) is finished first;
  // what is still left is carried into the new one.
  std::vector<std::vector<uint8_t>> Records;
  if (platform::IsFile(FPath))
    for (const std::string& Left : Recover(FPath, FScope).NotDeleted) {
      TRecordWriter Garbage;
      Name(Garbage, Left);
      Records.push_back(Framed(kGarbage, Garbage.Result()));
    }
  Records.push_back(Framed(Type, Payload.Result()));
  WriteRecords(FPath, Records, true);
  // The journal's own name must be on the disk before any change relies on it.
  CheckOSError(platform::FlushFolder(ExtractFilePath(FPath)));
  FActive = true;
}

void TWriteJournal::BeforeWrite(const std::string& File, int64_t Offset, int64_t Count) {
  int64_t Length = SizeOf(File);
  FTouched.insert(File);
  if (FMeasured.insert(File).second) {
    TRecordWriter Out;
    Name(Out, File);
    Append(kLength, Out.I64(Length));
  }
  if (Offset >= Length || Count <= 0)
    return;
  std::vector<uint8_t> Old(static_cast<size_t>(std::min(Count, Length - Offset)));
  {
    TFileStream Stream(File, TFileAccess::Read);
    SeekTo(Stream, Offset, File);
    Stream.ReadBuffer(Old.data(), Old.size());
  }
  TRecordWriter Out;
  Name(Out, File);
  Append(kBytes, Out.I64(Offset).Bytes(Old));
}

void TWriteJournal::BeforeReplace(const std::string& File, const std::string& Backup) {
  TRecordWriter Out;
  Name(Out, File);
  Name(Out, Backup);
  Append(kBackup, Out);
  FMeasured.erase(File);
}

void TWriteJournal::BeforeCreate(const std::string& File) {
  TRecordWriter Out;
  Name(Out, File);
  Append(kCreated, Out);
}

void TWriteJournal::BeforeMove(const std::string& From, const std::string& To) {
  TRecordWriter Out;
  Name(Out, To);
  Name(Out, From);
  Append(kMoved, Out);
  FMeasured.erase(To);
}

void TWriteJournal::Note(const std::vector<uint8_t>& Payload, const std::string& Kept) {
  TRecordWriter Out;
  Out.Bytes(Payload);
  if (Kept.empty())
    Out.U8(0).Text("");
  else
    Name(Out, Kept);
  Append(kNote, Out);
}

void TWriteJournal::Commit(const std::vector<TCommitFile>& Files) {
  for (const std::string& File : FTouched)
    FlushFile(File);
  for (const TCommitFile& File : Files)
    FlushFile(File.Copy);
  TRecordWriter Out;
  Out.U32(static_cast<uint32_t>(Files.size()));
  for (const TCommitFile& File : Files)
    for (const std::string* Path : {&File.Target, &File.Copy, &File.Backup})
      Name(Out, *Path);
  Append(kCommit, Out);
}

void TWriteJournal::Abort() {
  Append(kAbort, TRecordWriter());
}

void TWriteJournal::Finish() {
  try {
    Recover(FPath, FScope, true);
  } catch (const Exception&) {
    // The commit is on the disk; whatever could not be tidied now is tidied by the next recovery.
  }
  Reset();
}

TWriteJournal::TRecovery TWriteJournal::Rollback() {
  TRecovery Result = Recover(FPath, FScope, true);
  Reset();
  return Result;
}

TWriteJournal::TRecovery TWriteJournal::Recover(const std::string& Path, const TJournalScope& Scope,
                                                bool Trusted) {
  TRecovery Result;
  TPlace Place = PlaceOf(Path, Scope);
  if (!platform::IsFile(Path)) {
    SweepSongs(Place, {});
    return Result;
  }
  std::vector<TRecord> Records;
  try {
    Records = CheckedRecords(Place, Path);
  } catch (const EStreamError&) {
    throw; // the journal could not be read now: it stays for a later try
  } catch (const Exception& Untrusted) {
    if (Trusted)
      throw Exception("The journal \"" + Path + "\" cannot be applied: " + Untrusted.Message());
    Result.Outcome = TOutcome::SetAside;
    Result.Reason = Untrusted.Message();
    Result.SetAsideAs = SetAside(Path);
    return Result;
  }

  std::vector<std::string> Written;
  std::vector<TNamed> Garbage;
  if (const TRecord* Commit = StandingCommit(Records)) {
    for (size_t K = 0; K < Commit->Files.size(); K += 3)
      if (platform::IsFile(Commit->Files[K + 1].Path)) {
        CheckOSError(platform::ReplaceFile(Commit->Files[K + 1].Path, Commit->Files[K].Path));
        Written.push_back(Commit->Files[K].Path);
        Result.Outcome = TOutcome::RolledForward;
      }
    for (size_t K = 0; K < Commit->Files.size(); K += 3) {
      Garbage.push_back(Commit->Files[K + 2]);
      Written.push_back(Commit->Files[K].Path);
    }
    for (const TRecord& R : Records)
      if ((R.Type == kBackup || R.Type == kNote) && !R.Other.Name.empty())
        Garbage.push_back(R.Other);
  } else {
    for (auto It = Records.rbegin(); It != Records.rend(); ++It)
      PutBack(*It, Written);
    for (const TRecord& R : Records) {
      if (R.Type != kGarbage && R.Type != kCreated)
        Result.Outcome = TOutcome::RolledBack;
      if (R.Type == kNote)
        Result.Notes.push_back(
            {R.Data, !R.Other.Name.empty() && platform::IsFile(R.Other.Path) ? R.Other.Path : ""});
    }
  }
  for (const TRecord& R : Records)
    if (R.Type == kCreated || R.Type == kGarbage)
      Garbage.push_back(R.File);

  for (const std::string& File : Written)
    FlushFile(File);
  FlushFolders(Written);
  std::vector<std::vector<uint8_t>> Left;
  for (const TNamed& File : Garbage)
    if (platform::IsFile(File.Path) && platform::DeleteFile(File.Path) != 0 &&
        std::find(Result.NotDeleted.begin(), Result.NotDeleted.end(), File.Path) == Result.NotDeleted.end()) {
      Result.NotDeleted.push_back(File.Path);
      Left.push_back(GarbageRecord(File));
    }

  SweepSongs(Place, Result.Notes);
  if (Left.empty())
    CheckOSError(platform::DeleteFile(Path));
  else
    WriteRecords(Path, Left, true); // everything is in place; the journal now only names what is left
  CheckOSError(platform::FlushFolder(ExtractFilePath(Path)));
  return Result;
}
