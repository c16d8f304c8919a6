#pragma once
// BIGF archives: the music archives the definition names and the game's preload archives (.viv).
//
// File layout (offsets from the first byte; integers unsigned 32-bit):
//   0  "BIGF"
//   4  total size, little-endian
//   8  entry count, big-endian (read as signed: 0 or less means no entries)
//   12 header size, big-endian: 16 + the directory's size
//   16 directory: per entry, data offset (BE), data size (BE), name bytes, one zero byte
// then each entry's data, in directory order, each starting at the next multiple of 64, zero-filled gaps.
//
// An archive in memory is its directory only. Entry data stays in the backing file (FileName) and is
// copied file to file in blocks; every operation opens the files it needs and closes them before it
// returns.

#include "base/OwnedList.h"
#include "base/Streams.h"

#include <cstdint>
#include <string>
#include <vector>

class TEAStream;

// One entry of an archive.
class TEAStreamFile {
public:
  explicit TEAStreamFile(TEAStream* Owner);
  virtual ~TEAStreamFile() = default;

  // Replaces the entry's data with the rest of Source, in place: the bytes are appended to the backing
  // file at the next multiple of 64 and the entry's directory record is patched. The header is not
  // rewritten. An empty rest changes nothing. Offset and Size change only once the record is written.
  virtual void LoadFromStream(TStream& Source);
  // Copies the entry's Size bytes from the backing file to Dest at its position.
  virtual void SaveToStream(TStream& Dest);
  // Replaces the entry's data with the whole content of the file at Path.
  void LoadFromFile(const std::string& Path);
  // Exports the entry's bytes to a file created (or truncated) at Path.
  void SaveToFile(const std::string& Path);

  std::string Name;             // entry name, bytes as stored, without the terminating zero
  uint32_t Size = 0;            // data size in bytes
  uint32_t Offset = 0;          // position of the data in the backing file
  uint32_t DirectoryPos = 0;    // position of the entry's 8-byte directory record
  TEAStream* Owner;             // not owned
  uint32_t NewOffset = 0;       // offset given by the last rebuild, 0 = none pending
  uint32_t NewDirectoryPos = 0; // record position given by the last rebuild, 0 = none pending

private:
  friend class TEAStream;
  // While AddFile rebuilds, the file that holds a new entry's data (not yet in the archive file).
  std::string FDataSource;
};

// One BIGF archive.
class TEAStream {
public:
  // A fresh archive: no entries, FileName a temporary name with no file behind it.
  TEAStream();
  virtual ~TEAStream();

  // Frees every entry; FileName becomes a fresh temporary name ("~bigf").
  virtual void Clear();
  // Sorts the entries by ascending Offset (equal offsets in no particular order).
  virtual void SortFiles();
  // Reads header and directory from the start of Source. On failure the archive is cleared and the error
  // propagates ("Stream read error" for a short header, directory or unterminated name).
  virtual void LoadFromStream(TStream& Source);
  // Writes the archive anew (sorted, 64-byte aligned, compact) to Dest at its position, seeking back to
  // patch the header and directory, and leaves Dest's position at the archive's end. Sets every entry's
  // NewOffset and NewDirectoryPos; Offset and DirectoryPos keep describing the backing file until
  // CommitOffsets. Entries with the same offset and size share one copy of their data; an archive with
  // other overlapping entries is refused by CheckRebuildable before anything is written.
  virtual void SaveToStream(TStream& Dest);

  // Raises an Exception naming the archive and two of its entries when entries with data overlap other
  // than by having the same offset and size, which a rebuild cannot lay out without copying a stretch of
  // the file once per entry. Entries of size 0 overlap nothing.
  void CheckRebuildable() const;

  void FreeFiles();
  int32_t FileCount() const { return FFiles.Count(); }
  // The entry at Index; raises "List index out of bounds (%d)" outside the list.
  TEAStreamFile* Files(int32_t Index) const { return FFiles.Items(Index); }

  // Loads the directory of the archive at Path (opened for reading, others may read) and makes Path the
  // backing file. FileName changes only on success.
  void LoadFromFile(const std::string& Path);
  // Rebuilds the archive into a file created at Path, which must not be FileName, and flushes it; an
  // archive that CheckRebuildable refuses creates no file.
  void SaveToFile(const std::string& Path);

  // True when a rebuild would write exactly the bytes the backing file holds: entries in list order at
  // ascending 64-byte boundaries right after the directory, zero gaps, nothing after the last, header and
  // directory as the rebuild writes them. Reads the header, the directory and the gaps only. Raises the
  // file layer's errors.
  bool IsCompact() const;

  // The first entry, in list order, with Offset <= Offset < Offset + Size; nullptr if none.
  TEAStreamFile* FindFileByOffset(uint32_t Offset) const;
  // The first entry, in list order, named Name; raises "No entry <Name> in <FileName>" if none.
  TEAStreamFile& FileNamed(const std::string& Name) const;

  // Adds the bytes of SourceFile as a new entry named EntryName and rebuilds the backing file, which is
  // replaced in one step by the rebuilt copy. The new entry's Offset is the old length of the archive
  // file, so it sorts after the existing entries. Returns the new entry with every entry's new offsets
  // pending: the caller re-points what refers to the old offsets, then calls CommitOffsets. On failure
  // the archive file and HeaderSize are as they were, the new entry is not in the list and no new offsets
  // are pending.
  TEAStreamFile* AddFile(const std::string& SourceFile, const std::string& EntryName);

  // A file to add as a new entry: the path of its bytes, and the entry's name.
  struct TNewEntry {
    std::string SourceFile, EntryName;
  };
  // Adds every file of Entries, in order, as new entries in one rebuild of the backing file, as AddFile
  // adds one: the new entries' Offsets lie one after the other from the old length of the archive file,
  // and every entry's new offsets are pending on return. On failure nothing is added, as with AddFile.
  // Returns the new entries in the order of Entries.
  std::vector<TEAStreamFile*> AddFiles(const std::vector<TNewEntry>& Entries);

  // For every entry: DirectoryPos := NewDirectoryPos, Offset := NewOffset, then both pending fields := 0.
  // To be called only right after a rebuild that reached every entry.
  void CommitOffsets();

  std::string FileName; // the backing file
  // When set and no file of that name exists, AddFile keeps the replaced backing file under this name
  // (a rename, no copy) instead of letting it go; AddFile clears it when it does not.
  std::string KeepReplacedAs;
  uint32_t HeaderSize = 0; // header-size field as read, grown by AddFile

private:
  void ForgetPendingOffsets();

  TOwnedList<TEAStreamFile> FFiles;
};

// Three-way comparison of two entries by Offset.
int CompareFilesByOffset(const TEAStreamFile& A, const TEAStreamFile& B);

// Writes zero bytes to Stream until its position is a multiple of Alignment.
void PadStream(TStream& Stream, uint16_t Alignment);

// A path in the system's temporary folder, made from Prefix, under which no file exists at the moment of
// return, and never returned before in the process. The caller creates the file (possibly after changing
// its extension) and deletes or moves it.
// Raises EOSError if the folder or a unique name cannot be had.
std::string MakeTempFileName(const std::string& Prefix);
