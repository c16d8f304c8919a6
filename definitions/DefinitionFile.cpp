// Reading and writing the definition file (layout in uTypes.h).

#include "base/ByteOrder.h"
#include "base/Exceptions.h"
#include "base/Paths.h"
#include "base/Streams.h"
#include "definitions/uTypes.h"
#include "platform/FileSystem.h"

#include <algorithm>

namespace {

constexpr size_t kArchiveNameBytes = 32;

// A definition comes from anyone: what it names is opened, and at save replaced, so it must stay within
// the definition's folder.
constexpr const char* kArchiveOutsideFolder =
    "An archive must be a file in the folder of the definition file or in a folder below it";

int32_t ReadInt32(TStream& Stream) {
  uint8_t Bytes[4];
  Stream.ReadBuffer(Bytes, sizeof Bytes);
  return static_cast<int32_t>(LoadLE32(Bytes));
}

void WriteInt32(TStream& Stream, uint32_t Value) {
  uint8_t Bytes[4];
  StoreLE32(Bytes, Value);
  Stream.WriteBuffer(Bytes, sizeof Bytes);
}

std::string ReadArchiveName(TStream& Stream) {
  char Field[kArchiveNameBytes];
  Stream.ReadBuffer(Field, sizeof Field);
  return std::string(Field, std::find(Field, Field + sizeof Field, '\0'));
}

// The bytes after the zero of a short name carry no meaning; they are written as zeros.
void WriteArchiveName(TStream& Stream, const std::string& Name) {
  char Field[kArchiveNameBytes] = {};
  std::copy_n(Name.begin(), std::min(Name.size(), sizeof Field), Field);
  Stream.WriteBuffer(Field, sizeof Field);
}

void ReadField(TStream& Stream, TDescriptionField& Field) {
  Stream.ReadBuffer(Field.data(), Field.size());
}

void WriteField(TStream& Stream, const TDescriptionField& Field) {
  Stream.WriteBuffer(Field.data(), Field.size());
}

// Deletes the scratch copy of a save that failed; the save's own error is what the caller gets.
void DiscardScratch(const std::string& Path) {
  DeleteIfPresent(Path);
}

} // namespace

void TStreamPack::LoadFromStream(TStream& Stream) {
  int32_t Archives = ReadInt32(Stream);
  int32_t Descriptions = ReadInt32(Stream);
  int32_t Streams = ReadInt32(Stream);
  ReadArchives(Stream, Archives);
  ReadDescriptions(Stream, Descriptions);
  ReadStreams(Stream, Streams);
}

void TStreamPack::ReadArchives(TStream& Stream, int32_t Count) {
  for (int32_t I = 0; I < Count; ++I)
    AddArchive(ReadArchiveName(Stream));
}

TEAStream* TStreamPack::AddArchive(const std::string& Name) {
  if (!IsPathInsideFolder(Name))
    throw EFOpenError(BasePath + Name, kArchiveOutsideFolder);
  auto Archive = std::make_unique<TEAStream>();
  Archive->LoadFromFile(BasePath + Name);
  return FArchives.Add(std::move(Archive));
}

void TStreamPack::ReadDescriptions(TStream& Stream, int32_t Count) {
  for (int32_t I = 0; I < Count; ++I) {
    auto Description = std::make_unique<TStreamDescription>();
    ReadField(Stream, Description->Name);
    ReadField(Stream, Description->Singer);
    ReadField(Stream, Description->Album);
    FDescriptions.Add(std::move(Description));
  }
}

// The sample counts come first, then the records of all streams; the counts list grows only by what was
// actually read, so a huge count costs nothing before the bytes run out.
void TStreamPack::ReadStreams(TStream& Stream, int32_t Count) {
  std::vector<int32_t> SampleCounts;
  for (int32_t I = 0; I < Count; ++I)
    SampleCounts.push_back(ReadInt32(Stream));
  for (int32_t Samples : SampleCounts) {
    auto MusicStream = std::make_unique<TEAMusicStream>(this);
    for (int32_t J = 0; J < Samples; ++J) {
      auto Sample = std::make_unique<TStreamData>(MusicStream.get());
      Sample->FileOffset = static_cast<uint32_t>(ReadInt32(Stream));
      Sample->ArchiveIndex = ReadInt32(Stream);
      Sample->DescriptionIndex = ReadInt32(Stream);
      MusicStream->AppendSample(std::move(Sample));
    }
    FStreams.Add(std::move(MusicStream));
  }
}

void TStreamPack::SaveToStream(TStream& Stream) {
  WriteInt32(Stream, static_cast<uint32_t>(ArchiveCount()));
  WriteInt32(Stream, static_cast<uint32_t>(DescriptionCount()));
  WriteInt32(Stream, static_cast<uint32_t>(StreamCount()));
  WriteArchiveNames(Stream);
  WriteDescriptions(Stream);
  WriteStreams(Stream);
}

// The name as the file stores it: the archive's path relative to the definition's folder, so a folder
// part read from the file is written back and the archive is found again at the next load. An archive
// outside that folder is named by its file-name part.
std::string TStreamPack::StoredArchiveName(const TEAStream& Archive) const {
  const std::string& Path = Archive.FileName;
  if (!BasePath.empty() && Path.size() > BasePath.size() && Path.compare(0, BasePath.size(), BasePath) == 0)
    return Path.substr(BasePath.size());
  return ExtractFileName(Path);
}

void TStreamPack::WriteArchiveNames(TStream& Stream) const {
  for (int32_t I = 0; I < ArchiveCount(); ++I)
    WriteArchiveName(Stream, StoredArchiveName(*Archives(I)));
}

void TStreamPack::WriteDescriptions(TStream& Stream) const {
  for (int32_t I = 0; I < DescriptionCount(); ++I) {
    const TStreamDescription* Description = Descriptions(I);
    WriteField(Stream, Description->Name);
    WriteField(Stream, Description->Singer);
    WriteField(Stream, Description->Album);
  }
}

void TStreamPack::WriteStreams(TStream& Stream) const {
  for (int32_t I = 0; I < StreamCount(); ++I)
    WriteInt32(Stream, static_cast<uint32_t>(Streams(I)->SampleCount()));
  ForEachSample(*this, [&Stream](const TStreamData& Sample) {
    WriteInt32(Stream, Sample.FileOffset);
    WriteInt32(Stream, static_cast<uint32_t>(Sample.ArchiveIndex));
    WriteInt32(Stream, static_cast<uint32_t>(Sample.DescriptionIndex));
  });
}

void TStreamPack::LoadFromFile(const std::string& FileName) {
  TFileStream Stream(FileName, TFileAccess::Read);
  TBufferedReader Buffered(Stream);
  LoadFromStream(Buffered);
}

// The game cannot read a cut-off definition, so the file is never written in place: the new bytes go to a
// scratch file that then takes the definition's place in one step. A definition that cannot be replaced
// is reported as one that cannot be created, naming the definition file.
void TStreamPack::SaveToFile(const std::string& FileName) {
  std::string Scratch = MakeTempFileName("~sdat");
  try {
    {
      TFileStream Stream(Scratch, TFileAccess::Create);
      SaveToStream(Stream);
    }
    if (int Error = platform::ReplaceFile(Scratch, FileName))
      throw EFCreateError(FileName, Error);
  } catch (...) {
    DiscardScratch(Scratch);
    throw;
  }
}

std::vector<std::string> TStreamPack::ArchivePathsOf(const std::string& FileName) {
  std::vector<std::string> Paths;
  if (!platform::IsFile(FileName))
    return Paths;
  try {
    TFileStream File(FileName, TFileAccess::Read);
    TBufferedReader Stream(File);
    int32_t Count = ReadInt32(Stream);
    Stream.SetPosition(12);
    for (int32_t I = 0; I < Count; ++I)
      if (std::string Name = ReadArchiveName(Stream); IsPathInsideFolder(Name))
        Paths.push_back(ExtractFilePath(FileName) + Name);
  } catch (const Exception&) {
  }
  return Paths;
}
