#pragma once
// The game's original music, kept once before the first change: a copy of the definition, the archives it
// names and the game's preload archives, in the folder "Original music" below the definition's folder:
//
//   Original music/audio/<definition>          the definition file
//   Original music/audio/<archive names>       each archive under the name the definition gives it
//   Original music/preload/<name>              faudio.viv, gaudio.viv, gaudiofa.viv, those that exist
//   Original music/kept.manifest               what was kept, written last (layout below)
//   Original music/declined.txt                the user's "No": nothing is kept, and nobody asks again
//
// The copy goes through the definition's write journal as one commit of new files: every copy is
// written and flushed under a scratch name, the commit is recorded, then the copies take their names,
// the manifest last. A process that dies before the commit leaves scratch copies that the next open
// deletes; one that dies after it has its commit finished by the next open. A folder whose manifest is
// missing, damaged or names a file that is not there with its size holds nothing kept.
//
// Manifest (integers little-endian, texts as u32 length and bytes):
//   "ORVKKEPT", u32 version 1, u32 file count,
//   per file: u8 role (0 definition, 1 archive, 2 preload archive), text name, i64 size, u32 CRC-32,
//   u32 CRC-32 of every byte before.
//
// A restore puts every kept file back in one commit through the journal, as a save does: all or nothing,
// even when the process dies. The kept copy stays, so a restore can be made again.

#include "base/WriteJournal.h"
#include "definitions/uTypes.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum class TKeptState {
  None,     // nothing kept, and the user was not asked (or the answer is not known)
  Kept,     // a complete copy is there
  Declined, // the user said No
};

struct TKeptFile {
  enum TRole : uint8_t { Definition = 0, Archive = 1, Preload = 2 };
  TRole Role = Definition;
  std::string Name; // the definition's file name, an archive's name in the definition, a preload name
  int64_t Size = 0;
  uint32_t Crc = 0;
};

class TKeptOriginals {
public:
  // Definition: the definition file; PreloadFolder: the game's preload folder (empty: none is kept or
  // restored).
  TKeptOriginals(const std::string& Definition, const std::string& PreloadFolder);

  static constexpr const char* FolderName = "Original music";
  // "<the definition's folder>Original music", without a trailing delimiter.
  const std::string& Folder() const { return FFolder; }
  TKeptState State() const;
  // The files a keep would copy now, with their sizes (CRC 0): the definition, each archive it names
  // that exists, each preload archive that exists.
  std::vector<TKeptFile> FilesToKeep() const;
  // The bytes a keep would copy now.
  int64_t SizeToKeep() const;

  // Copies the files (see above), then removes a "No" marker. Progress is told the bytes copied of all;
  // Cancel is read between blocks: once set, the copies are deleted, nothing is kept and false returned.
  // Raises "The original music is already kept in ..." when it is (a copy is never made over another),
  // an Exception when Journal has a transaction under way (the copy must come before any change), and
  // the file layer's errors; the journal is then rolled back and nothing counts as kept.
  bool Keep(TWriteJournal& Journal, const TRebuildProgress& Progress = {},
            const std::atomic<bool>* Cancel = nullptr);
  // Remembers the user's "No" in the folder (created if missing). Raises the file layer's errors.
  void Decline();

  // The kept files, from the manifest. Raises "No original music is kept in ..." when State() is not Kept.
  std::vector<TKeptFile> Kept() const;
  // Puts every kept file back in its place as one commit through Journal (the definition's; the caller
  // holds its lock and has nothing open on the files). Each copy is checked against its size and CRC
  // before anything is replaced: "The kept copy of ... is damaged". Raises as Keep; on failure every
  // file holds its old bytes, or (after the commit is recorded) the next recovery finishes the restore.
  void Restore(TWriteJournal& Journal, const TRebuildProgress& Progress = {});

  // Where a kept file lives in the kept folder, and where it goes back to.
  std::string KeptPath(const TKeptFile& File) const;
  std::string TargetPath(const TKeptFile& File) const;
  // The kept definition, opened over the kept archives; nullptr when nothing is kept.
  std::unique_ptr<TStreamPack> LoadKeptDefinition() const;

private:
  std::string ManifestPath() const;
  std::string MarkerPath() const;
  std::vector<TKeptFile> ReadManifest() const; // empty when missing or damaged
  void RemoveIncomplete() const;

  std::string FDefinition, FPreloadFolder, FFolder;
};

// The preload folder of a game laid out as the game installs itself: "preload" beside the definition's
// folder ("<game>/audio/streams.dat" gives "<game>/preload").
std::string DefaultPreloadFolder(const std::string& Definition);
