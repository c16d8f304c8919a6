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

// A new file in the songs folder of Journal's definition, created empty.
std::string NewKeptSong(const TWriteJournal& Journal) {
  std::string Folder = TWriteJournal::SongFolderFor(Journal.SubjectPath());
  CheckOSError(platform::CreateFolder(Folder));
  std::string Name;
  CheckOSError(platform::CreateUniqueFile(IncludeTrailingPathDelimiter(Folder), "song", Name));
  return Name;
}

} // namespace

void TImportJournal::BeforeImport(const TStreamData& Sample, bool AsNewFile, const std::string& EntryName,
                                  const std::string& Source, const std::string& Converted,
                                  const TImportDescription& Description) {
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
    CopyWholeFile(Converted, Kept);
    FJournal.Note(Encode(R), Kept);
  } catch (...) {
    DeleteIfPresent(Kept);
    throw;
  }
}

void TImportJournal::BeforeReplace(const TEAStreamFile& Entry) {
  FJournal.BeforeWrite(Entry.Owner->FileName, Entry.DirectoryPos, 8);
}

void TImportJournal::BeforeAdd(TEAStream& Archive) {
  const std::string& Path = Archive.FileName;
  FJournal.BeforeCreate(TFileSetCommit::NewName(Path));
  if (FBackedUp.count(Path) != 0)
    return;
  std::string Backup = Path + ".~undo";
  for (int N = 2; platform::IsFile(Backup); ++N)
    Backup = Path + ".~undo" + std::to_string(N);
  FJournal.BeforeReplace(Path, Backup);
  Archive.KeepReplacedAs = Backup;
}

void TImportJournal::AfterAdd(TEAStream& Archive) {
  if (!Archive.KeepReplacedAs.empty() && platform::IsFile(Archive.KeepReplacedAs))
    FBackedUp.insert(Archive.FileName);
  Archive.KeepReplacedAs.clear();
}

void TImportJournal::Undo() {
  FBackedUp.clear();
  DiscardKept(ImportsOf(FJournal.Rollback()));
}

std::vector<TImportRecord> TImportJournal::ImportsOf(const TWriteJournal::TRecovery& Recovery) {
  std::vector<TImportRecord> Imports;
  for (const TWriteJournal::TNote& Note : Recovery.Notes) {
    TImportRecord R;
    if (Decode(Note.Payload, R)) {
      R.Kept = Note.Kept;
      Imports.push_back(R);
    } else {
      DeleteIfPresent(Note.Kept);
    }
  }
  return Imports;
}

void TImportJournal::DiscardKept(const std::vector<TImportRecord>& Imports) {
  for (const TImportRecord& R : Imports)
    DeleteIfPresent(R.Kept);
  for (const TImportRecord& R : Imports)
    platform::RemoveEmptyFolder(ExtractFilePath(R.Kept));
}
