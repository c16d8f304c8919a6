#include "workflows/KeptOriginals.h"

#include "base/Exceptions.h"
#include "base/FileSetCommit.h"
#include "base/Paths.h"
#include "base/Records.h"
#include "base/Streams.h"
#include "definitions/Preload.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>

namespace {

const char kMagic[] = "ORVKKEPT";
constexpr uint32_t kVersion = 1;
constexpr int64_t kMaxManifest = 1 << 20;
// The smallest file record: role, an empty name, size and CRC.
constexpr size_t kMinFileRecord = 1 + 4 + 8 + 4;

bool IsPreloadName(const std::string& Name) {
  return std::any_of(std::begin(PreloadArchiveNames), std::end(PreloadArchiveNames),
                     [&](const char* Known) { return Name == Known; });
}

// A name that the manifest may give: nothing that leaves its folder, and the definition and preload
// archives without any folder at all.
bool ValidName(const TKeptFile& File) {
  if (!IsPathInsideFolder(File.Name))
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

// Copies From to To, block by block, and returns the CRC-32 of the bytes; none when cancelled.
std::optional<uint32_t> CopyWithCrc(const std::string& From, const std::string& To, TCopyProgress& State) {
  TFileStream In(From, TFileAccess::Read);
  TFileStream Out(To, TFileAccess::Create);
  std::vector<uint8_t> Block(TStream::kCopyBlockSize);
  uint32_t Crc = 0;
  for (int64_t Left = In.Size(); Left > 0;) {
    if (State.Cancelled())
      return std::nullopt;
    size_t Count = static_cast<size_t>(std::min<int64_t>(Left, static_cast<int64_t>(Block.size())));
    In.ReadBuffer(Block.data(), Count);
    Out.WriteBuffer(Block.data(), Count);
    Crc = Crc32(Block.data(), Count, Crc);
    Left -= static_cast<int64_t>(Count);
    State.Done += static_cast<int64_t>(Count);
    if (State.Progress)
      State.Progress(State.Done, State.Total);
  }
  return Crc;
}

std::vector<uint8_t> ManifestBytes(const std::vector<TKeptFile>& Files) {
  TRecordWriter Out;
  for (const char* C = kMagic; *C != '\0'; ++C)
    Out.U8(static_cast<uint8_t>(*C));
  Out.U32(kVersion).U32(static_cast<uint32_t>(Files.size()));
  for (const TKeptFile& File : Files)
    Out.U8(File.Role).Text(File.Name).I64(File.Size).U32(File.Crc);
  std::vector<uint8_t> Bytes = Out.Result();
  uint32_t Crc = Crc32(Bytes.data(), Bytes.size());
  for (int I = 0; I < 4; ++I)
    Bytes.push_back(static_cast<uint8_t>(Crc >> (8 * I)));
  return Bytes;
}

// The files of a manifest's bytes; empty when they are not a whole manifest.
std::vector<TKeptFile> ParseManifest(const std::vector<uint8_t>& Bytes) {
  const size_t Magic = std::strlen(kMagic);
  if (Bytes.size() < Magic + 12 || std::memcmp(Bytes.data(), kMagic, Magic) != 0)
    return {};
  uint32_t Sealed = 0;
  for (int I = 0; I < 4; ++I)
    Sealed |= uint32_t(Bytes[Bytes.size() - 4 + I]) << (8 * I);
  if (Crc32(Bytes.data(), Bytes.size() - 4) != Sealed)
    return {};
  TRecordReader In(std::vector<uint8_t>(Bytes.begin() + static_cast<std::ptrdiff_t>(Magic), Bytes.end() - 4));
  if (In.U32() != kVersion)
    return {};
  uint32_t Count = In.U32();
  if (Count == 0 || Count > In.Left() / kMinFileRecord)
    return {};
  std::vector<TKeptFile> Files;
  for (uint32_t I = 0; I < Count; ++I) {
    TKeptFile File;
    uint8_t Role = In.U8();
    File.Role = static_cast<TKeptFile::TRole>(Role);
    File.Name = In.Text();
    File.Size = In.I64();
    File.Crc = In.U32();
    if (Role > TKeptFile::Preload || File.Size < 0 || !ValidName(File))
      return {};
    Files.push_back(File);
  }
  if (!In.Whole() || Files[0].Role != TKeptFile::Definition)
    return {};
  return Files;
}

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

std::string TKeptOriginals::TargetPath(const TKeptFile& File) const {
  if (File.Role == TKeptFile::Preload)
    return JoinPath(FPreloadFolder, File.Name);
  return ExtractFilePath(FDefinition) + File.Name;
}

std::vector<TKeptFile> TKeptOriginals::ReadManifest() const {
  if (!platform::IsFile(ManifestPath()))
    return {};
  TMemoryStream Bytes;
  {
    TFileStream File(ManifestPath(), TFileAccess::Read);
    if (File.Size() > kMaxManifest)
      return {};
    Bytes.CopyFrom(File, File.Size());
  }
  std::vector<TKeptFile> Files = ParseManifest(Bytes.Bytes());
  for (const TKeptFile& File : Files)
    if (!platform::IsFile(KeptPath(File)) || SizeOf(KeptPath(File)) != File.Size)
      return {};
  return Files;
}

TKeptState TKeptOriginals::State() const {
  if (!ReadManifest().empty())
    return TKeptState::Kept;
  return platform::IsFile(MarkerPath()) ? TKeptState::Declined : TKeptState::None;
}

std::vector<TKeptFile> TKeptOriginals::FilesToKeep() const {
  std::vector<TKeptFile> Files;
  Files.push_back({TKeptFile::Definition, ExtractFileName(FDefinition), SizeOf(FDefinition), 0});
  const std::string Base = ExtractFilePath(FDefinition);
  for (const std::string& Path : TStreamPack::ArchivePathsOf(FDefinition)) {
    TKeptFile File{TKeptFile::Archive, Path.substr(Base.size()), 0, 0};
    bool Known =
        std::any_of(Files.begin(), Files.end(), [&](const TKeptFile& F) { return F.Name == File.Name; });
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

// What an earlier keep that never finished left in the folder's own subfolders goes, so that a new keep
// starts from nothing; the "No" marker stays.
void TKeptOriginals::RemoveIncomplete() const {
  for (const char* Sub : {"audio", "preload"}) {
    std::string Folder = JoinPath(FFolder, Sub);
    std::vector<std::string> Names;
    if (platform::IsFolder(Folder) && platform::FilesInFolder(Folder, Names) == 0)
      for (const std::string& Name : Names)
        CheckOSError(platform::DeleteFile(JoinPath(Folder, Name)));
  }
  if (platform::IsFile(ManifestPath()))
    CheckOSError(platform::DeleteFile(ManifestPath()));
}

bool TKeptOriginals::Keep(TWriteJournal& Journal, const TRebuildProgress& Progress,
                          const std::atomic<bool>* Cancel) {
  if (State() == TKeptState::Kept)
    throw Exception("The original music is already kept in \"" + FFolder + "\"");
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
    TMemoryStream Manifest(ManifestBytes(Files));
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

std::vector<TKeptFile> TKeptOriginals::Kept() const {
  std::vector<TKeptFile> Files = ReadManifest();
  if (Files.empty())
    throw Exception("No original music is kept in \"" + FFolder + "\"");
  return Files;
}

void TKeptOriginals::Restore(TWriteJournal& Journal, const TRebuildProgress& Progress) {
  std::vector<TKeptFile> Files = Kept();
  if (Journal.Active())
    throw Exception("The original music can only be restored when no change is under way");
  TCopyProgress State{0, 0, Progress, nullptr};
  for (const TKeptFile& File : Files)
    State.Total += File.Size;
  CommitCopies(Journal, [&](TFileSetCommit& Set) {
    for (const TKeptFile& File : Files) {
      if (File.Role == TKeptFile::Preload && FPreloadFolder.empty())
        continue;
      if (CopyWithCrc(KeptPath(File), Set.Add(TargetPath(File)), State) != File.Crc)
        throw Exception("The kept copy of " + File.Name + " is damaged: \"" + KeptPath(File) + "\"");
    }
    return true;
  });
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
