#pragma once
// The music definition in memory (streams.dat): archives, song descriptions and music streams.
//
// A sample names its archive by position (ArchiveIndex), the file inside that archive by the byte offset
// of the file's data (FileOffset), and its description by position (DescriptionIndex, -1 = none). These
// are positions and offsets, never pointers, so the binding is exactly what the definition file stores.
// Back references (sample to stream, stream to pack) are raw and not owned.
//
// Definition file layout (integers 32-bit little-endian, text 8-bit ANSI, no magic, no padding):
//   0   ArchiveCount, DescriptionCount, StreamCount (signed)
//   12  ArchiveCount x 32-byte archive name, relative to the definition's folder (zero-terminated and
//       zero-filled when shorter than 32); the load refuses, with the open error, a name that leaves
//       that folder or names a device (IsPathInsideFolder)
//       DescriptionCount x 192-byte description: Name, Singer, Album, 64 bytes each
//       StreamCount x sample count (signed)
//       per stream, per sample: FileOffset (unsigned), ArchiveIndex, DescriptionIndex (signed)
// A count of 0 or less gives an empty section.
//
// Errors are exceptions (base/Exceptions.h) and pass to the caller; nothing here catches one, and the model
// keeps the state it had reached unless an operation says otherwise.

#include "archive/uEAStream.h"
#include "base/FileSetCommit.h"
#include "base/OwnedList.h"
#include "base/Streams.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TStreamPack;
class TEAMusicStream;

// Told the bytes copied so far and the bytes to copy in all.
using TRebuildProgress = std::function<void(int64_t Done, int64_t Total)>;

// One raw 64-byte text field of a description, in the ANSI code page.
using TDescriptionField = std::array<char, 64>;

// The text of Field: its bytes up to the first zero, or all 64 when there is none.
std::string FieldText(const TDescriptionField& Field);
// Copies at most 63 bytes of Text into Field, then one zero byte; the bytes after that zero are kept.
void SetFieldText(TDescriptionField& Field, const std::string& Text);

// One description: song name, singer, album. A new description has all 192 bytes zero.
class TStreamDescription {
public:
  TDescriptionField Name{};
  TDescriptionField Singer{};
  TDescriptionField Album{};
};

// One sample of a music stream. All numbers of a new sample are 0.
class TStreamData {
public:
  explicit TStreamData(TEAMusicStream* MusicStream);
  virtual ~TStreamData() = default;

  // The item at ArchiveIndex of the pack's archives; raises the list error outside the list.
  TEAStream* Archive() const;
  // The first file of Archive() whose data range [Offset, Offset + Size) holds FileOffset; nullptr if
  // none. Raises the list error for an ArchiveIndex outside the list.
  TEAStreamFile* StreamFile() const;
  // nullptr for a negative DescriptionIndex, else the pack's description at it (list error outside).
  TStreamDescription* Description() const;
  // Binds the sample to File (FileOffset := File->Offset, ArchiveIndex := position of its archive in the
  // pack). A nullptr File, or a file whose archive is not one of the pack's, changes nothing.
  void SetStreamFile(TEAStreamFile* File);

  // Puts the sample data in FileName (already in the archive's data format) into the sample's archive; the
  // archive file on disk changes at once.
  // - AsNewFile false: the data replaces that of StreamFile(), appended to the archive file with the entry's
  //   record patched. Every sample of the pack bound to that file, in any stream, follows it to its new
  //   offset. Raises an Exception, changing nothing, when the sample is bound to no file.
  // - AsNewFile true: the data is added as a new entry named NewName and the archive is rebuilt in place;
  //   every sample of that archive follows its file (see CarrySampleOffsets), and this sample is bound to
  //   the new entry. NewName is not used otherwise.
  // Raises the errors of the archive operations; the list error, before anything changes, when any
  // sample of the pack has an ArchiveIndex outside the archive list (AsNewFile true) or this one has.
  void ImportFile(const std::string& FileName, bool AsNewFile, const std::string& NewName);

  TEAMusicStream* MusicStream;  // not owned
  uint32_t FileOffset = 0;      // offset, in the archive file, of the data of the file holding the sample
  int32_t ArchiveIndex = 0;     // position of the archive in the pack's archives
  int32_t DescriptionIndex = 0; // position in the pack's descriptions; -1 = none

private:
  void ReplaceFileData(const std::string& FileName);
  void AddFileData(const std::string& FileName, const std::string& NewName);
};

// One music stream: an ordered list of samples, which it owns.
class TEAMusicStream {
public:
  explicit TEAMusicStream(TStreamPack* Pack);
  virtual ~TEAMusicStream();

  // Destroys every sample.
  virtual void Clear();

  int32_t SampleCount() const { return FSamples.Count(); }
  // The sample at Index; raises "List index out of bounds (%d)" outside the list.
  TStreamData* Samples(int32_t Index) const { return FSamples.Items(Index); }
  // Position of Sample in the list, or -1.
  int32_t IndexOfSample(const TStreamData* Sample) const { return FSamples.IndexOf(Sample); }

  // Appends a new sample bound to File (see TStreamData::SetStreamFile) with no description, and returns
  // it. A file of another archive gives a sample with all numbers 0 but DescriptionIndex -1.
  TStreamData* AddSample(TEAStreamFile* File);
  // Takes ownership of Sample, whose MusicStream must be this stream, appends it and returns it.
  TStreamData* AppendSample(std::unique_ptr<TStreamData> Sample);
  // Destroys the sample at Index; raises the list error outside the list.
  void DeleteSample(int32_t Index);
  // Destroys Sample; raises the list error with -1, removing nothing, when it is not in this stream.
  void RemoveSample(TStreamData* Sample);

  TStreamPack* Pack; // not owned

private:
  TOwnedList<TStreamData> FSamples;
};

// One definition with its archives, descriptions and music streams, all owned.
class TStreamPack {
public:
  // BasePath: the definition file's folder, with its trailing delimiter; archives named in the file are
  // opened at BasePath followed directly by the name.
  explicit TStreamPack(const std::string& BasePath);
  virtual ~TStreamPack();
  TStreamPack(const TStreamPack&) = delete;
  TStreamPack& operator=(const TStreamPack&) = delete;

  // Appends the definition read from Stream's position to the lists (used on a new pack), opening each
  // archive as its name is read. Raises "Stream read error" when the bytes run out, and the errors of
  // opening an archive; the pack then keeps what was complete before the error. Bytes after the last
  // sample record are not read. No memory is reserved from a count.
  virtual void LoadFromStream(TStream& Stream);
  // Writes the definition at Stream's position. An archive is named by its FileName relative to
  // BasePath (by its file-name part when it lies elsewhere), cut to 32 bytes. Raises "Stream write error"
  // when a write fails.
  virtual void SaveToStream(TStream& Stream);
  // Reads the file (opened for reading, others may read but not write). Raises "Cannot open file ..."
  // when it cannot be opened, then as LoadFromStream.
  void LoadFromFile(const std::string& FileName);
  // Writes the definition to a scratch file ("~sdat") and puts it in FileName's place in one step, so a
  // failure leaves any file at FileName as it was, and deletes the scratch file when it fails (unless the
  // OS refuses the delete). Raises "Cannot create file ..." naming FileName when it cannot be replaced
  // (locked, read-only, a folder) or naming the scratch file when that cannot be created, and "Stream
  // write error"; the OS error when no scratch name can be had.
  void SaveToFile(const std::string& FileName);

  int32_t ArchiveCount() const { return FArchives.Count(); }
  TEAStream* Archives(int32_t Index) const { return FArchives.Items(Index); }
  // Opens the archive at BasePath followed directly by Name (see TEAStream::LoadFromFile), appends it and
  // returns it. Raises the archive reader's errors, adding nothing; a Name that leaves BasePath's folder
  // or names a device (see IsPathInsideFolder) is refused with the open error before anything is opened.
  TEAStream* AddArchive(const std::string& Name);
  int32_t IndexOfArchive(const TEAStream* Archive) const { return FArchives.IndexOf(Archive); }
  int32_t DescriptionCount() const { return FDescriptions.Count(); }
  TStreamDescription* Descriptions(int32_t Index) const { return FDescriptions.Items(Index); }
  int32_t StreamCount() const { return FStreams.Count(); }
  TEAMusicStream* Streams(int32_t Index) const { return FStreams.Items(Index); }
  // Appends an empty music stream and returns it.
  TEAMusicStream* AddStream();

  // Appends a zeroed description holding the three texts, each cut to 63 bytes, and returns it. Note
  // the parameter order: Singer, Album, Name.
  TStreamDescription* AddDescription(const std::string& Singer, const std::string& Album,
                                     const std::string& Name);
  // Destroys the description at Index (list error, changing nothing, outside the list); samples that used
  // it get -1, samples of later descriptions follow theirs down by one.
  void DeleteDescription(int32_t Index);
  // Destroys every description; every sample gets DescriptionIndex -1.
  void ClearDescriptions();
  // Destroys every archive, then every stream.
  void ClearArchives();
  // Destroys every music stream and its samples.
  void ClearStreams();

  // Carries samples over a pending archive rewrite: a sample whose FileOffset is exactly the Offset of a
  // file of its archive (the first such in list order) takes that file's NewOffset when it is not 0.
  // Raises the list error for a sample whose ArchiveIndex lies outside the archive list.
  void UpdateSampleOffsets();
  // Carries the samples of the archive at ArchiveIndex over its pending rewrite, each to the same place
  // in the data of the file that holds it: a sample at a file's start follows as in UpdateSampleOffsets,
  // and a sample inside a file's data keeps its distance from the start. Other samples are not touched.
  // The samples of that archive must have a valid ArchiveIndex (they do, having that one).
  void CarrySampleOffsets(int32_t ArchiveIndex);
  // Raises the list error for the first sample, in stream order, whose ArchiveIndex lies outside the
  // archive list.
  void CheckArchiveIndexes() const;

  // Writes every archive anew, compact, and puts each in place of its old file, all or nothing (see
  // SaveWithArchives, without the definition file).
  void RebuildArchives();
  // Saves all or nothing, as a database commits several files (base/FileSetCommit.h): every archive
  // rebuilt when Rebuild, and the definition at FileName, each written beside its file first, then all
  // swapped in together. Only when every file is in place do the samples keep their carried offsets (see
  // CarrySampleOffsets) and the archives commit theirs; on any failure every file holds its old bytes, the
  // model its old offsets, and the error propagates. Raises the list error, before anything is written,
  // when a sample's ArchiveIndex lies outside the archive list; "Rebuild of archives failed" when a
  // rebuilt copy is missing; the archive writer's and the file layer's errors. Returns the backups of the
  // old files that could not be deleted afterwards: the save itself succeeded.
  // Progress, when given, is called as the rebuilt archives are written, with the bytes of entry data
  // copied so far and in all.
  // Every change goes through Journal (its copies, the commit record, and the transaction's end), which
  // then deletes the backups itself; without one, a journal beside FileName serves this save alone.
  std::vector<std::string> SaveWithArchives(const std::string& FileName, bool Rebuild,
                                            const TRebuildProgress& Progress = {},
                                            TWriteJournal* Journal = nullptr);
  // The paths of the archives that the definition file at FileName names (BasePath being FileName's
  // folder), read without opening them; as many as could be read when the file is short or missing. Names
  // that the load refuses (see IsPathInsideFolder) are left out.
  static std::vector<std::string> ArchivePathsOf(const std::string& FileName);

  const std::string BasePath;

private:
  void ReadArchives(TStream& Stream, int32_t Count);
  void ReadDescriptions(TStream& Stream, int32_t Count);
  void ReadStreams(TStream& Stream, int32_t Count);
  std::string StoredArchiveName(const TEAStream& Archive) const;
  void WriteArchiveNames(TStream& Stream) const;
  void WriteDescriptions(TStream& Stream) const;
  void WriteStreams(TStream& Stream) const;
  std::vector<std::string> Commit(const std::string* FileName, bool Rebuild, const TRebuildProgress& Progress,
                                  TWriteJournal* Journal);
  void WriteRebuiltCopies(TFileSetCommit& Files, const TRebuildProgress& Progress);

  TOwnedList<TEAStream> FArchives;
  TOwnedList<TStreamDescription> FDescriptions;
  TOwnedList<TEAMusicStream> FStreams;
};

// Calls Visit(Sample) for every sample of every stream of Pack, in order.
template <class Visitor> void ForEachSample(const TStreamPack& Pack, Visitor&& Visit) {
  for (int32_t I = 0; I < Pack.StreamCount(); ++I) {
    TEAMusicStream* Stream = Pack.Streams(I);
    for (int32_t J = 0; J < Stream->SampleCount(); ++J)
      Visit(*Stream->Samples(J));
  }
}
