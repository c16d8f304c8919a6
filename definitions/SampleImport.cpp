// Importing new sample data into a sample's archive (see TStreamData::ImportFile in uTypes.h).

#include "base/Exceptions.h"
#include "definitions/uTypes.h"

void TStreamData::ImportFile(const std::string& FileName, bool AsNewFile, const std::string& NewName) {
  if (AsNewFile)
    AddFileData(FileName, NewName);
  else
    ReplaceFileData(FileName);
}

// Every sample bound to the replaced file follows it: left at the old offset, which after the replace lies
// in no file's data, they would make the definition look corrupt.
void TStreamData::ReplaceFileData(const std::string& FileName) {
  TEAStreamFile* File = StreamFile();
  if (File == nullptr)
    throw Exception("The sample is bound to no file of its archive");
  std::vector<TStreamData*> Bound;
  ForEachSample(*MusicStream->Pack, [&](TStreamData& Sample) {
    if (Sample.ArchiveIndex == ArchiveIndex && Sample.StreamFile() == File)
      Bound.push_back(&Sample);
  });
  uint32_t OldOffset = File->Offset;
  File->LoadFromFile(FileName);
  if (File->Offset == OldOffset)
    return;
  for (TStreamData* Sample : Bound)
    Sample->FileOffset = File->Offset;
}

// The samples are carried over and the offsets committed at once: AddFile has already put the rebuilt
// archive in place, and it leaves no pending offsets when it fails. Every archive index is checked first
// so that nothing can fail between the replace and the commit.
void TStreamData::AddFileData(const std::string& FileName, const std::string& NewName) {
  TStreamPack& Pack = *MusicStream->Pack;
  Pack.CheckArchiveIndexes();
  TEAStream* Target = Archive();
  TEAStreamFile* Added = Target->AddFile(FileName, NewName);
  Pack.CarrySampleOffsets(ArchiveIndex);
  Target->CommitOffsets();
  SetStreamFile(Added);
}
