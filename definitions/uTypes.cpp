#include "definitions/uTypes.h"

#include <algorithm>
#include <cstring>

// ---- description fields ----

std::string FieldText(const TDescriptionField& Field) {
  const char* End = std::find(Field.begin(), Field.end(), '\0');
  return std::string(Field.begin(), End);
}

void SetFieldText(TDescriptionField& Field, const std::string& Text) {
  size_t Length = std::min(Text.size(), Field.size() - 1);
  std::memcpy(Field.data(), Text.data(), Length);
  Field[Length] = '\0';
}

// ---- TStreamData ----

TStreamData::TStreamData(TEAMusicStream* MusicStream) : MusicStream(MusicStream) {}

TEAStream* TStreamData::Archive() const {
  return MusicStream->Pack->Archives(ArchiveIndex);
}

TEAStreamFile* TStreamData::StreamFile() const {
  return Archive()->FindFileByOffset(FileOffset);
}

TStreamDescription* TStreamData::Description() const {
  if (DescriptionIndex < 0)
    return nullptr;
  return MusicStream->Pack->Descriptions(DescriptionIndex);
}

void TStreamData::SetStreamFile(TEAStreamFile* File) {
  if (File == nullptr)
    return;
  int32_t Position = MusicStream->Pack->IndexOfArchive(File->Owner);
  if (Position < 0)
    return;
  FileOffset = File->Offset;
  ArchiveIndex = Position;
}

// ---- TEAMusicStream ----

TEAMusicStream::TEAMusicStream(TStreamPack* Pack) : Pack(Pack) {}

TEAMusicStream::~TEAMusicStream() {
  FSamples.Clear();
}

void TEAMusicStream::Clear() {
  FSamples.Clear();
}

TStreamData* TEAMusicStream::AddSample(TEAStreamFile* File) {
  auto Sample = std::make_unique<TStreamData>(this);
  Sample->SetStreamFile(File);
  Sample->DescriptionIndex = -1;
  return FSamples.Add(std::move(Sample));
}

TStreamData* TEAMusicStream::AppendSample(std::unique_ptr<TStreamData> Sample) {
  return FSamples.Add(std::move(Sample));
}

void TEAMusicStream::DeleteSample(int32_t Index) {
  FSamples.Delete(Index);
}

void TEAMusicStream::RemoveSample(TStreamData* Sample) {
  DeleteSample(FSamples.IndexOf(Sample));
}

// ---- TStreamPack ----

TStreamPack::TStreamPack(const std::string& BasePath) : BasePath(BasePath) {}

TStreamPack::~TStreamPack() {
  ClearArchives();
  ClearDescriptions();
}

TStreamDescription* TStreamPack::AddDescription(const std::string& Singer, const std::string& Album,
                                                const std::string& Name) {
  auto Description = std::make_unique<TStreamDescription>();
  SetFieldText(Description->Name, Name);
  SetFieldText(Description->Singer, Singer);
  SetFieldText(Description->Album, Album);
  return FDescriptions.Add(std::move(Description));
}

void TStreamPack::DeleteDescription(int32_t Index) {
  FDescriptions.Delete(Index);
  ForEachSample(*this, [Index](TStreamData& Sample) {
    if (Sample.DescriptionIndex == Index)
      Sample.DescriptionIndex = -1;
    else if (Sample.DescriptionIndex > Index)
      --Sample.DescriptionIndex;
  });
}

void TStreamPack::ClearDescriptions() {
  FDescriptions.Clear();
  ForEachSample(*this, [](TStreamData& Sample) { Sample.DescriptionIndex = -1; });
}

void TStreamPack::ClearArchives() {
  FArchives.Clear();
  ClearStreams();
}

TEAMusicStream* TStreamPack::AddStream() {
  return FStreams.Add(std::make_unique<TEAMusicStream>(this));
}

void TStreamPack::ClearStreams() {
  FStreams.Clear();
}

void TStreamPack::CheckArchiveIndexes() const {
  ForEachSample(*this, [this](const TStreamData& Sample) { Archives(Sample.ArchiveIndex); });
}

namespace {

// The first file, in list order, whose data starts exactly at the sample's offset.
TEAStreamFile* FileStartingAt(const TEAStream& Archive, uint32_t Offset) {
  for (int32_t I = 0; I < Archive.FileCount(); ++I)
    if (Archive.Files(I)->Offset == Offset)
      return Archive.Files(I);
  return nullptr;
}

// The exact-start match: a sample inside a file's data but not at its start keeps its offset.
void CarryOffset(TStreamData& Sample) {
  TEAStreamFile* File = FileStartingAt(*Sample.Archive(), Sample.FileOffset);
  if (File != nullptr && File->NewOffset != 0)
    Sample.FileOffset = File->NewOffset;
}

// A sample inside a file's data, not at its start, keeps its place in that file's data: left at its old
// offset it would point into whatever the new layout puts there, another song or none.
void CarryOffsetWithinFile(TStreamData& Sample) {
  TEAStream& Archive = *Sample.Archive();
  TEAStreamFile* File = FileStartingAt(Archive, Sample.FileOffset);
  if (File == nullptr)
    File = Archive.FindFileByOffset(Sample.FileOffset);
  if (File != nullptr && File->NewOffset != 0)
    Sample.FileOffset = File->NewOffset + (Sample.FileOffset - File->Offset);
}

} // namespace

void TStreamPack::UpdateSampleOffsets() {
  ForEachSample(*this, CarryOffset);
}

void TStreamPack::CarrySampleOffsets(int32_t ArchiveIndex) {
  ForEachSample(*this, [ArchiveIndex](TStreamData& Sample) {
    if (Sample.ArchiveIndex == ArchiveIndex)
      CarryOffsetWithinFile(Sample);
  });
}
