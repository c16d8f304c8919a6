#include "workflows/KeptOriginals.h"

#include "base/Exceptions.h"
#include "base/FileSetCommit.h"
#include "base/Paths.h"
#include "base/Records.h"
#include "base/Streams.h"
#include "definitions/Preload.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <set>

namespace {

const char kMagic[] = "ORVKKEPT";
constexpr uint32_t kVersion = 1;
constexpr int64_t kMaxManifest = 1 << 20;
// The smallest file record: role, an empty name, size and CRC.
constexpr size_t kMinFileRecord = 1 + 4 + 8 + 4;
const char kScratchSuffix[] = ".~new";

// Names compared as Windows compares file names (ASCII letters in either case, either delimiter), so that
// two names of one file there are one name everywhere.
std::string Folded(const std::string& Name) {
  std::string Result = Name;
  for (char& C : Result)
    C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  for (char& C : Result)
    if (C == '\\')
      C = '/';
  return Result;
}

bool EndsWith(const std::string& Text, const std::string& End) {
  return Text.size() >= End.size() && Text.compare(Text.size() - End.size(), End.size(), End) == 0;
}

bool IsPreloadName(const std::string& Name) {
  return std::any_of(std::begin(PreloadArchiveNames), std::end(PreloadArchiveNames),
                     [&](const char* Known) { return Name == Known; });
}

// A name that the manifest may give: a file's (never empty, never a folder's), nothing that leaves its
// folder, and the definition and preload archives without any folder at all.
bool ValidName(const TKeptFile& File) {
  if (ExtractFileName(File.Name).empty() || !IsPathInsideFolder(File.Name))
    return false;
  if (File.Role == TKeptFile::Archive)
    return true;
  if (File.Role == TKeptFile::Preload)
    return IsPreloadName(File.Name);
  return File.Role == TKeptFile::Definition && ExtractFileName(File.Name) == File.Name;
}

int64_t SizeOf(const std::string& Path) {
  TFileStream File(Path, TFileAccess::Read);
  return File.Size();
}

// Creates the folders of Name (a relative path) below Base, which exists.
void CreateFoldersOf(const std::string& Base, const std::string& Name) {
  CheckOSError(platform::CreateFolder(Base));
  for (size_t At = Name.find_first_of("\\/"); At != std::string::npos; At = Name.find_first_of("\\/", At + 1))
    CheckOSError(platform::CreateFolder(JoinPath(Base, Name.substr(0, At))));
}

struct TCopyProgress {
  int64_t Done = 0, Total = 0;
  const TRebuildProgress& Progress;
  const std::atomic<bool>* Cancel;
  bool Cancelled() const { return Cancel != nullptr && Cancel->load(); }
};

// Copies From to To (or only reads it, when To is empty), block by block, and returns the CRC-32 of the
// bytes; none when cancelled.
std::optional<uint32_t> CopyWithCrc(const std::string& From, const std::string& To, TCopyProgress& State) {
  TFileStream In(From, TFileAccess::Read);
  std::optional<TFileStream> Out;
  if (!To.empty())
    Out.emplace(To, TFileAccess::Create);
  std::vector<uint8_t> Block(TStream::kCopyBlockSize);
  uint32_t Crc = 0;
  for (int64_t Left = In.Size(); Left > 0;) {
    if (State.Cancelled())
      return std::nullopt;
    size_t Count = static_cast<size_t>(std::min<int64_t>(Left, static_cast<int64_t>(Block.size())));
    In.ReadBuffer(Block.data(), Count);
    if (Out)
      Out->WriteBuffer(Block.data(), Count);
    Crc = Crc32(Block.data(), Count, Crc);
    Left -= static_cast<int64_t>(Count);
    State.Done += static_cast<int64_t>(Count);
    if (State.Progress)
      State.Progress(State.Done, State.Total);
  }
  return Crc;
}

// Path's parts, with "." and ".." taken out as far as the path allows.
std::vector<std::string> PartsOf(const std::string& Path) {
  std::vector<std::string> Parts;
  size_t Start = 0;
  for (size_t At = 0; At <= Path.size(); ++At) {
    if (At < Path.size() && Path[At] != '/' && Path[At] != '\\')
      continue;
    std::string Part = Path.substr(Start, At - Start);
    Start = At + 1;
    if (Part == ".." && !Parts.empty() && Parts.back() != "..")
      Parts.pop_back();
    else if (!Part.empty() && Part != ".")
      Parts.push_back(Part);
  }
  return Parts;
}

} // namespace

std::vector<uint8_t> KeptManifestBytes(const std::vector<TKeptFile>& Files) {
  TRecordWriter Out;
  Out.Magic(kMagic).U32(kVersion).U32(static_cast<uint32_t>(Files.size()));
  for (const TKeptFile& File : Files)
    Out.U8(File.Role).Text(File.Name).I64(File.Size).U32(File.Crc);
  return Out.Sealed();
}

std::vector<TKeptFile> ParseKeptManifest(const std::vector<uint8_t>& Bytes) {
  if (CheckSeal(Bytes, kMagic, 8) != TSeal::Whole)
    return {};
  TRecordReader In = SealedBody(Bytes, kMagic);
  if (In.U32() != kVersion)
    return {};
  uint32_t Count = In.U32();
  if (Count == 0 || Count > In.Left() / kMinFileRecord)
    return {};
  std::vector<TKeptFile> Files;
  // One file is kept once: the definition first and only there, no name twice in one kept folder.
  std::set<std::string> Names;
  for (uint32_t I = 0; I < Count; ++I) {
    TKeptFile File;
    uint8_t Role = In.U8();
    File.Role = static_cast<TKeptFile::TRole>(Role);
    File.Name = In.Text();
    File.Size = In.I64();
    File.Crc = In.U32();
    if (Role > TKeptFile::Preload || File.Size < 0 || !ValidName(File) ||
        (I > 0) != (File.Role != TKeptFile::Definition))
      return {};
    if (!Names.insert((File.Role == TKeptFile::Preload ? "preload/" : "audio/") + Folded(File.Name)).second)
      return {};
    Files.push_back(File);
  }
  if (!In.Whole() || Files[0].Role != TKeptFile::Definition)
    return {};
  return Files;
}

namespace {

// Runs Write, which writes the copies of a set of new files registered with the set, then puts them in
// place as one commit through Journal and ends the transaction. When Write returns false, or raises, the
// transaction is rolled back: no copy stays. Returns what Write returned.
bool CommitCopies(TWriteJournal& Journal, const std::function<bool(TFileSetCommit&)>& Write) {
  try {
    TFileSetCommit Set(&Journal);
    if (!Write(Set)) {
      Journal.Rollback();
      return false;
    }
    Set.Swap();
    Set.DeleteBackups();
    Journal.Finish();
  } catch (...) {
    if (Journal.Active())
      Journal.Rollback();
    throw;
  }
  return true;
}

} // namespace

std::string TSetAside::Notice() const {
  return "The kept copy of the original music in \"" + Folder + "\" cannot be trusted: " + Reason +
         ". It was set aside as \"" + SetAsideAs +
         "\", nothing in it deleted. No new copy is made, since the game's files may already hold changed "
         "music.";
}

TKeptOriginals::TKeptOriginals(const std::string& Definition, const std::string& PreloadFolder)
    : FDefinition(platform::FullPath(Definition)), FPreloadFolder(PreloadFolder),
      FFolder(ExtractFilePath(FDefinition) + FolderName) {}

std::string TKeptOriginals::ManifestPath() const {
  return JoinPath(FFolder, "kept.manifest");
}
std::string TKeptOriginals::MarkerPath() const {
  return JoinPath(FFolder, "declined.txt");
}

std::string TKeptOriginals::KeptPath(const TKeptFile& File) const {
  return JoinPath(JoinPath(FFolder, File.Role == TKeptFile::Preload ? "preload" : "audio"), File.Name);
}

// The definition goes back to the file this object was made for, whatever the case of its kept name.
std::string TKeptOriginals::TargetPath(const TKeptFile& File) const {
  if (File.Role == TKeptFile::Preload)
    return JoinPath(FPreloadFolder, File.Name);
  if (File.Role == TKeptFile::Definition)
    return FDefinition;
  return ExtractFilePath(FDefinition) + File.Name;
}

std::string TKeptOriginals::FileWithoutManifest() const {
  if (!platform::IsFolder(FFolder))
    return "";
  for (const char* Sub : {"audio", "preload"}) {
    std::vector<std::string> Names;
    std::string Folder = JoinPath(FFolder, Sub);
    if (platform::IsFolder(Folder))
      CheckOSError(platform::FilesInFolder(Folder, Names));
    for (const std::string& Name : Names)
      if (!EndsWith(Name, kScratchSuffix))
        return JoinPath(Sub, Name);
  }
  // An archive a keep would copy into a folder of its own below audio.
  for (const TKeptFile& File : FilesToKeep())
    if (platform::IsFile(KeptPath(File)))
      return KeptPath(File).substr(FFolder.size() + 1);
  return "";
}

std::vector<TKeptFile> TKeptOriginals::Inspect(std::string& Reason) const {
  Reason.clear();
  if (platform::IsFile(FFolder)) {
    Reason = "\"" + std::string(FolderName) + "\" is a file, not a folder";
    return {};
  }
  if (!platform::IsFile(ManifestPath())) {
    if (std::string Loose = FileWithoutManifest(); !Loose.empty())
      Reason = Loose + " is there without kept.manifest";
    return {};
  }
  std::vector<TKeptFile> Files;
  {
    TFileStream File(ManifestPath(), TFileAccess::Read);
    if (File.Size() > kMaxManifest) {
      Reason = "kept.manifest is too large";
      return {};
    }
    TMemoryStream Bytes;
    Bytes.CopyFrom(File, File.Size());
    Files = ParseKeptManifest(Bytes.Bytes());
  }
  if (Files.empty()) {
    Reason = "kept.manifest is damaged";
    return {};
  }
  if (Folded(Files[0].Name) != Folded(ExtractFileName(FDefinition))) {
    Reason = "kept.manifest keeps " + Files[0].Name + ", not " + ExtractFileName(FDefinition);
    return {};
  }
  for (const TKeptFile& File : Files) {
    if (!platform::IsFile(KeptPath(File))) {
      Reason = File.Name + " is missing";
      return {};
    }
    if (int64_t Size = SizeOf(KeptPath(File)); Size != File.Size) {
      Reason = File.Name + " has " + std::to_string(Size) + " bytes, not the " + std::to_string(File.Size) +
               " kept";
      return {};
    }
  }
  // The archives are those the kept definition names (by its own name rules), which a restore puts back.
  std::set<std::string> Archives;
  const std::string KeptAudio = ExtractFilePath(KeptPath(Files[0]));
  for (const std::string& Path : TStreamPack::ArchivePathsOf(KeptPath(Files[0])))
    Archives.insert(Folded(Path.substr(KeptAudio.size())));
  for (const TKeptFile& File : Files)
    if (File.Role == TKeptFile::Archive && Archives.count(Folded(File.Name)) == 0) {
      Reason = "kept.manifest names " + File.Name + ", which the kept definition does not name";
      return {};
    }
  return Files;
}

std::vector<TKeptFile> TKeptOriginals::ReadManifest() const {
  std::string Reason;
  return Inspect(Reason);
}

TKeptState TKeptOriginals::State() const {
  std::string Reason;
  if (!Inspect(Reason).empty())
    return TKeptState::Kept;
  if (!Reason.empty())
    return TKeptState::Damaged;
  return platform::IsFile(MarkerPath()) ? TKeptState::Declined : TKeptState::None;
}

std::string TKeptOriginals::Damage() const {
  std::string Reason;
  Inspect(Reason);
  return Reason;
}

std::vector<TKeptFile> TKeptOriginals::FilesToKeep() const {
  std::vector<TKeptFile> Files;
  Files.push_back({TKeptFile::Definition, ExtractFileName(FDefinition), SizeOf(FDefinition), 0});
  const std::string Base = ExtractFilePath(FDefinition);
  for (const std::string& Path : TStreamPack::ArchivePathsOf(FDefinition)) {
    TKeptFile File{TKeptFile::Archive, Path.substr(Base.size()), 0, 0};
    bool Known = std::any_of(Files.begin(), Files.end(),
                             [&](const TKeptFile& F) { return Folded(F.Name) == Folded(File.Name); });
    if (!Known && platform::IsFile(Path)) {
      File.Size = SizeOf(Path);
      Files.push_back(File);
    }
  }
  if (!FPreloadFolder.empty())
    for (const char* Name : PreloadArchiveNames) {
      std::string Path = JoinPath(FPreloadFolder, Name);
      if (platform::IsFile(Path))
        Files.push_back({TKeptFile::Preload, Name, SizeOf(Path), 0});
    }
  return Files;
}

int64_t TKeptOriginals::SizeToKeep() const {
  int64_t Total = 0;
  for (const TKeptFile& File : FilesToKeep())
    Total += File.Size;
  return Total;
}

// Only what a keep writes before its commit may go, and only from a folder without a manifest: a copy
// that reached its manifest, or any file of another name, is the user's to keep (a damaged folder is set
// aside, never emptied).
void TKeptOriginals::RemoveIncomplete() const {
  if (platform::IsFile(ManifestPath()))
    return;
  for (const char* Sub : {"audio", "preload"}) {
    std::string Folder = JoinPath(FFolder, Sub);
    std::vector<std::string> Names;
    if (platform::IsFolder(Folder))
      CheckOSError(platform::FilesInFolder(Folder, Names));
    for (const std::string& Name : Names)
      if (EndsWith(Name, kScratchSuffix))
        CheckOSError(platform::DeleteFile(JoinPath(Folder, Name)));
  }
}

bool TKeptOriginals::Keep(TWriteJournal& Journal, const TRebuildProgress& Progress,
                          const std::atomic<bool>* Cancel) {
  std::string Reason;
  if (!Inspect(Reason).empty())
    throw Exception("The original music is already kept in \"" + FFolder + "\"");
  if (!Reason.empty())
    throw Exception("The kept original music in \"" + FFolder + "\" is damaged: " + Reason);
  if (Journal.Active())
    throw Exception("The original music can only be kept before the definition is changed");
  std::vector<TKeptFile> Files = FilesToKeep();
  TCopyProgress State{0, 0, Progress, Cancel};
  for (const TKeptFile& File : Files)
    State.Total += File.Size;
  RemoveIncomplete();
  CheckOSError(platform::CreateFolder(FFolder));
  bool Whole = CommitCopies(Journal, [&](TFileSetCommit& Set) {
    for (TKeptFile& File : Files) {
      CreateFoldersOf(JoinPath(FFolder, File.Role == TKeptFile::Preload ? "preload" : "audio"), File.Name);
      std::optional<uint32_t> Crc = CopyWithCrc(TargetPath(File), Set.Add(KeptPath(File)), State);
      if (!Crc)
        return false;
      File.Crc = *Crc;
    }
    TMemoryStream Manifest(KeptManifestBytes(Files));
    Manifest.SaveToFile(Set.Add(ManifestPath()));
    return true;
  });
  if (!Whole)
    return false;
  if (platform::IsFile(MarkerPath()))
    CheckOSError(platform::DeleteFile(MarkerPath()));
  return true;
}

void TKeptOriginals::Decline() {
  CheckOSError(platform::CreateFolder(FFolder));
  {
    TFileStream Marker(MarkerPath(), TFileAccess::Create);
    const std::string Text = "The original music was not kept: the editor does not ask again while this file "
                             "is here. Delete it to be asked before the next change.\r\n";
    Marker.WriteBuffer(Text.data(), Text.size());
    Marker.Flush();
  }
  CheckOSError(platform::FlushFolder(FFolder));
}

std::optional<TSetAside> TKeptOriginals::SetAsideIfDamaged() {
  std::string Reason = Damage();
  if (Reason.empty())
    return std::nullopt;
  const std::string Name = SetAsideName(FFolder);
  CheckOSError(platform::MoveFile(FFolder, Name));
  CheckOSError(platform::FlushFolder(ExtractFilePath(FFolder)));
  Decline();
  return TSetAside{FFolder, Name, Reason};
}

std::vector<TKeptFile> TKeptOriginals::Kept() const {
  std::string Reason;
  std::vector<TKeptFile> Files = Inspect(Reason);
  if (!Reason.empty())
    throw Exception("The kept original music in \"" + FFolder + "\" is damaged: " + Reason);
  if (Files.empty())
    throw Exception("No original music is kept in \"" + FFolder + "\"");
  return Files;
}

// Every kept file is read through before the first one is put back: a copy damaged in place is found
// while the game's files are still untouched, and the copies are checked once more as they are made.
void TKeptOriginals::Restore(TWriteJournal& Journal, const TRebuildProgress& Progress) {
  std::vector<TKeptFile> Files = Kept();
  if (Journal.Active())
    throw Exception("The original music can only be restored when no change is under way");
  auto Restored = [&](const TKeptFile& File) {
    return File.Role != TKeptFile::Preload || !FPreloadFolder.empty();
  };
  auto Damaged = [&](const TKeptFile& File) {
    return Exception("The kept copy of " + File.Name + " is damaged: \"" + KeptPath(File) + "\"");
  };
  TCopyProgress State{0, 0, Progress, nullptr};
  for (const TKeptFile& File : Files)
    if (Restored(File))
      State.Total += 2 * File.Size;
  for (const TKeptFile& File : Files)
    if (Restored(File) && CopyWithCrc(KeptPath(File), "", State) != File.Crc)
      throw Damaged(File);
  // The definition and its archives go back in one commit through the definition's journal; the preload
  // archives, which lie in another folder, in one commit through the journal beside them.
  auto CommitRole = [&](TWriteJournal& Through, bool Preload) {
    CommitCopies(Through, [&](TFileSetCommit& Set) {
      for (const TKeptFile& File : Files)
        if (Restored(File) && (File.Role == TKeptFile::Preload) == Preload &&
            CopyWithCrc(KeptPath(File), Set.Add(TargetPath(File)), State) != File.Crc)
          throw Damaged(File);
      return true;
    });
  };
  CommitRole(Journal, false);
  if (FPreloadFolder.empty())
    return;
  TWriteJournal::Recover(PreloadJournalPath(FPreloadFolder), PreloadScope());
  TWriteJournal PreloadJournal(PreloadJournalPath(FPreloadFolder), PreloadScope());
  CommitRole(PreloadJournal, true);
}

std::unique_ptr<TStreamPack> TKeptOriginals::LoadKeptDefinition() const {
  std::vector<TKeptFile> Files = ReadManifest();
  if (Files.empty())
    return nullptr;
  auto Pack = std::make_unique<TStreamPack>(IncludeTrailingPathDelimiter(JoinPath(FFolder, "audio")));
  Pack->LoadFromFile(KeptPath(Files[0]));
  return Pack;
}

std::string DefaultPreloadFolder(const std::string& Definition) {
  std::string Folder = ExtractFilePath(platform::FullPath(Definition));
  if (!Folder.empty())
    Folder.pop_back(); // the delimiter, so that the folder's own parent comes next
  return ExtractFilePath(Folder) + "preload";
}

bool IsInKeptFolder(const std::string& Path) {
  std::vector<std::string> Parts = PartsOf(platform::FullPath(Path));
  if (Parts.size() < 3)
    return false;
  const std::string Sub = Folded(Parts[Parts.size() - 2]), Kept = Folded(Parts[Parts.size() - 3]);
  const std::string Name = Folded(TKeptOriginals::FolderName);
  return (Sub == "audio" || Sub == "preload") && (Kept == Name || Kept.rfind(Name + " (set aside ", 0) == 0);
}
