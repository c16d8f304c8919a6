#include "definitions/ImportJournal.h"
#include "base/ByteOrder.h"
#include "base/Exceptions.h"
#include "base/Paths.h"
#include "base/Streams.h"
#include "definitions/uTypes.h"
#include "platform/FileSystem.h"

namespace {

void PutText(std::vector<uint8_t>& Out, const std::string& Text) {
  PutLE32(Out, static_cast<uint32_t>(Text.size()));
  Out.insert(Out.end(), Text.begin(), Text.end());
}

bool GetText(const std::vector<uint8_t>& In, size_t& At, std::string& Text) {
  if (In.size() - At < 4)
    return false;
  uint32_t Size = LoadLE32(&In[At]);
  At += 4;
  if (In.size() - At < Size)
    return false;
  Text.assign(In.begin() + static_cast<std::ptrdiff_t>(At),
              In.begin() + static_cast<std::ptrdiff_t>(At + Size));
  At += Size;
  return true;
}

constexpr size_t kFieldCount = 11;
constexpr size_t kMaxField = 63;

// The note's payload, each field as a length and text: "import", kind, stream, sample, entry name, source,
// source's own name, "described" or "kept", description name, singer, album.
std::vector<uint8_t> Encode(const TImportRecord& R) {
  std::vector<uint8_t> Out;
  const TImportDescription& D = R.Description;
  for (const std::string& Field :
       {std::string("import"), std::string(R.AsNewFile ? "add" : "replace"), std::to_string(R.Stream),
        std::to_string(R.Sample), R.EntryName, R.Source, R.SourceName,
        std::string(D.Set ? "described" : "kept"), D.Name, D.Singer, D.Album})
    PutText(Out, Field);
  return Out;
}

bool Decode(const std::vector<uint8_t>& In, TImportRecord& R) {
  std::string Fields[kFieldCount];
  size_t At = 0;
  for (std::string& Field : Fields)
    if (!GetText(In, At, Field))
      return false;
  if (At != In.size() || Fields[0] != "import" || (Fields[1] != "add" && Fields[1] != "replace") ||
      (Fields[7] != "described" && Fields[7] != "kept"))
    return false;
  R.SourceName = Fields[6];
  R.Description = {Fields[7] == "described", Fields[8], Fields[9], Fields[10]};
  for (const std::string* Field : {&R.Description.Name, &R.Description.Singer, &R.Description.Album})
    if (Field->size() > kMaxField)
      return false;
  try {
    R.AsNewFile = Fields[1] == "add";
    R.Stream = std::stoi(Fields[2]);
    R.Sample = std::stoi(Fields[3]);
  } catch (const std::exception&) {
    return false;
  }
  R.EntryName = Fields[4];
  R.Source = Fields[5];
  return true;
}

constexpr const char* kUndone = "undo";
constexpr const char* kRedone = "redo";

// An undo or redo note: its kind, then the places of the imports it names among the transaction's notes.
bool DecodeStep(const std::vector<uint8_t>& In, bool& Redone, std::vector<int32_t>& Imports) {
  std::string Field;
  size_t At = 0;
  if (!GetText(In, At, Field) || (Field != kUndone && Field != kRedone))
    return false;
  Redone = Field == kRedone;
  while (At < In.size()) {
    if (!GetText(In, At, Field) || Field.empty() || Field.size() > 9 ||
        Field.find_first_not_of("0123456789") != std::string::npos)
      return false;
    Imports.push_back(std::stoi(Field));
  }
  return true;
}

void SeekTo(TFileStream& File, uint32_t Offset) {
  if (File.Seek(Offset, SeekOrigin::Begin) != Offset)
    throw Exception("A seek to " + std::to_string(Offset) + " failed");
}

// A new file in the songs folder of Journal's definition, created empty.
std::string NewKeptSong(const TWriteJournal& Journal) {
  std::string Folder = TWriteJournal::SongFolderFor(Journal.SubjectPath());
  CheckOSError(platform::CreateFolder(Folder));
  std::string Name;
  CheckOSError(platform::CreateUniqueFile(IncludeTrailingPathDelimiter(Folder), "song", Name));
  return Name;
}

} // namespace

std::string TImportJournal::BeforeImport(const TStreamData& Sample, bool AsNewFile,
                                         const std::string& EntryName, const std::string& Source,
                                         const std::string& Converted, const TImportDescription& Description,
                                         bool Take) {
  const TStreamPack& Pack = *Sample.MusicStream->Pack;
  TImportRecord R;
  R.AsNewFile = AsNewFile;
  for (int32_t I = 0; I < Pack.StreamCount(); ++I)
    if (Pack.Streams(I) == Sample.MusicStream)
      R.Stream = I;
  R.Sample = Sample.MusicStream->IndexOfSample(&Sample);
  R.EntryName = EntryName;
  R.Source = Source;
  R.SourceName = platform::OwnFileNameUtf8(Source);
  R.Description = Description;
  std::string Kept = NewKeptSong(FJournal);
  try {
    // A move takes the name the empty file held; the kept song is flushed either way.
    if (Take && platform::DeleteFile(Kept) == 0 && platform::MoveFile(Converted, Kept) == 0)
      TFileStream(Kept, TFileAccess::ReadWrite).Flush();
    else
      CopyWholeFile(Converted, Kept);
    FJournal.Note(Encode(R), Kept);
  } catch (...) {
    if (Take && !platform::IsFile(Converted))
      platform::MoveFile(Kept, Converted); // the caller's file back where it was
    DeleteIfPresent(Kept);
    throw;
  }
  FPending.push_back(FNotes++);
  FLastKept = Kept;
  return Kept;
}

void TImportJournal::BeforeReplace(const TEAStreamFile& Entry) {
  const std::string& Path = Entry.Owner->FileName;
  FPendingChange = {};
  FPendingChange.Archive = Path;
  FPendingChange.DirectoryPos = Entry.DirectoryPos;
  FPendingChange.Song = FLastKept;
  {
    TFileStream File(Path, TFileAccess::Read);
    FPendingChange.OldLength = File.Size();
    SeekTo(File, Entry.DirectoryPos);
    File.ReadBuffer(FPendingChange.OldRecord.data(), FPendingChange.OldRecord.size());
  }
  FJournal.BeforeWrite(Path, Entry.DirectoryPos, 8);
}

void TImportJournal::AfterReplace() {
  FStep.Changes.push_back(FPendingChange);
  FStep.Imports.insert(FStep.Imports.end(), FPending.begin(), FPending.end());
  FPending.clear();
}

void TImportJournal::BeforeAdd(TEAStream& Archive) {
  const std::string& Path = Archive.FileName;
  FJournal.BeforeCreate(TFileSetCommit::NewName(Path));
  std::string Backup = FreshName(Path);
  FJournal.BeforeReplace(Path, Backup);
  Archive.KeepReplacedAs = Backup;
}

void TImportJournal::AfterAdd(TEAStream& Archive) {
  if (!Archive.KeepReplacedAs.empty() && platform::IsFile(Archive.KeepReplacedAs)) {
    TArchiveChange Change;
    Change.Added = true;
    Change.Archive = Archive.FileName;
    Change.Before = Archive.KeepReplacedAs;
    FStep.Changes.push_back(Change);
    FStep.Imports.insert(FStep.Imports.end(), FPending.begin(), FPending.end());
  }
  FPending.clear();
  Archive.KeepReplacedAs.clear();
}

std::string TImportJournal::FreshName(const std::string& Archive) {
  std::string Name = Archive + ".~undo";
  for (int N = 2; FNamed.count(Name) != 0 || platform::IsFile(Name); ++N)
    Name = Archive + ".~undo" + std::to_string(N);
  FNamed.insert(Name);
  return Name;
}

std::string TImportJournal::Exchange(const std::string& Archive, const std::string& Back) {
  std::string Away = FreshName(Archive);
  FJournal.BeforeReplace(Archive, Away);
  CheckOSError(platform::MoveFile(Archive, Away));
  FJournal.BeforeMove(Back, Archive);
  CheckOSError(platform::MoveFile(Back, Archive));
  CheckOSError(platform::FlushFolder(ExtractFilePath(Archive)));
  return Away;
}

void TImportJournal::Forget() {
  FNamed.clear();
  FNotes = 0;
  FPending.clear();
  FStep = {};
}

TImportStep TImportJournal::TakeStep() {
  TImportStep Step = std::move(FStep);
  FStep = {};
  FPending.clear();
  return Step;
}

void TImportJournal::Note(const char* Kind, const std::vector<int32_t>& Imports) {
  std::vector<uint8_t> Out;
  PutText(Out, Kind);
  for (int32_t Import : Imports)
    PutText(Out, std::to_string(Import));
  FJournal.Note(Out, "");
}

void TImportJournal::UndoStep(TImportStep& Step) {
  Note(kUndone, Step.Imports);
  for (auto Change = Step.Changes.rbegin(); Change != Step.Changes.rend(); ++Change) {
    if (Change->Added) {
      Change->After = Exchange(Change->Archive, Change->Before);
      Change->Before.clear();
      continue;
    }
    FJournal.BeforeWrite(Change->Archive, Change->DirectoryPos, 8);
    TFileStream File(Change->Archive, TFileAccess::ReadWrite);
    SeekTo(File, Change->DirectoryPos);
    File.WriteBuffer(Change->OldRecord.data(), Change->OldRecord.size());
    File.SetSize(Change->OldLength);
  }
}

void TImportJournal::RedoStep(TImportStep& Step) {
  Note(kRedone, Step.Imports);
  for (TArchiveChange& Change : Step.Changes) {
    if (Change.Added) {
      Change.Before = Exchange(Change.Archive, Change.After);
      Change.After.clear();
      continue;
    }
    TEAStream Archive;
    Archive.LoadFromFile(Change.Archive);
    TEAStreamFile* Entry = nullptr;
    for (int32_t I = 0; I < Archive.FileCount() && Entry == nullptr; ++I)
      if (Archive.Files(I)->DirectoryPos == Change.DirectoryPos)
        Entry = Archive.Files(I);
    if (Entry == nullptr)
      throw Exception("No entry of \"" + Change.Archive + "\" has its record at " +
                      std::to_string(Change.DirectoryPos));
    FJournal.BeforeWrite(Change.Archive, Change.DirectoryPos, 8);
    Entry->LoadFromFile(Change.Song);
  }
}

void TImportJournal::Undo() {
  Forget();
  DiscardKept(ImportsOf(FJournal.Rollback()));
}

std::vector<TImportRecord> TImportJournal::ImportsOf(const TWriteJournal::TRecovery& Recovery) {
  // Every import noted, and whether it stood at the end: an undo takes the imports it names back, a redo
  // makes them stand again.
  std::vector<TImportRecord> Noted;
  std::vector<bool> Stands;
  for (const TWriteJournal::TNote& Note : Recovery.Notes) {
    TImportRecord R;
    bool Redone = false;
    std::vector<int32_t> Named;
    if (Decode(Note.Payload, R)) {
      R.Kept = Note.Kept;
      Noted.push_back(R);
      Stands.push_back(true);
    } else if (DecodeStep(Note.Payload, Redone, Named)) {
      for (int32_t Import : Named)
        if (static_cast<size_t>(Import) < Noted.size())
          Stands[static_cast<size_t>(Import)] = Redone;
    } else {
      DeleteIfPresent(Note.Kept);
    }
  }
  std::vector<TImportRecord> Imports;
  for (size_t I = 0; I < Noted.size(); ++I)
    if (!Stands[I] && !Noted[I].Kept.empty()) {
      DeleteIfPresent(Noted[I].Kept);
      platform::RemoveEmptyFolder(ExtractFilePath(Noted[I].Kept));
    } else if (!Noted[I].Kept.empty())
      Imports.push_back(Noted[I]);
  return Imports;
}

void TImportJournal::DiscardKept(const std::vector<TImportRecord>& Imports) {
  for (const TImportRecord& R : Imports)
    DeleteIfPresent(R.Kept);
  for (const TImportRecord& R : Imports)
    platform::RemoveEmptyFolder(ExtractFilePath(R.Kept));
}
