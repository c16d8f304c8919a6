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
// deletes; one that dies after it has its commit finished by the next open.
//
// What the folder holds is never replaced by anything but the originals. A folder whose manifest is
// missing while kept files are there, or whose manifest is damaged, names a file it may not name, or
// names a file that is not there with its size, is damaged: it is set aside whole under a dated name and
// nothing is kept again (the game's files may already hold changed music). A manifest may name the
// definition (by the definition's own name), the archives the kept definition names and the preload
// archives, nothing else; a restore checks every kept file's size and CRC before it replaces anything.
//
// Manifest (integers little-endian, texts as u32 length and bytes):
//   "ORVKKEPT", u32 version 1, u32 file count,
//   per file: u8 role (0 definition, 1 archive, 2 preload archive), text name, i64 size, u32 CRC-32,
//   u32 CRC-32 of every byte before.
//
// A restore puts the kept files back as a save does, all or nothing even when the process dies: the
// definition and its archives in one commit through the definition's journal, the preload archives in one
// through the preload folder's journal. The kept copy stays, so a restore can be made again.
//
// A definition or archive inside a kept folder is the kept copy itself: the editor and the commands open
// it for reading only (IsInKeptFolder).

#include "base/WriteJournal.h"
#include "definitions/DefinitionSession.h"
#include "definitions/uTypes.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

enum class TKeptState {
  None,     // nothing kept, and the user was not asked (or the answer is not known)
  Kept,     // a complete copy is there
  Declined, // the user said No, or a damaged kept folder was set aside
  Damaged,  // something is kept, but not a whole copy that matches its manifest (see above)
};

struct TKeptFile {
  enum TRole : uint8_t { Definition = 0, Archive = 1, Preload = 2 };
  TRole Role = Definition;
  std::string Name; // the definition's file name, an archive's name in the definition, a preload name
  int64_t Size = 0;
  uint32_t Crc = 0;
};

// A damaged kept folder, renamed.
struct TSetAside {
  std::string Folder;     // where it was
  std::string SetAsideAs; // where it is now
  std::string Reason;     // what was wrong with it
  // What the user is told, once.
  std::string Notice() const;
};

class TKeptOriginals {
public:
  // Definition: the definition file; PreloadFolder: the game's preload folder (empty: none is kept or
  // restored).
  TKeptOriginals(const std::string& Definition, const std::string& PreloadFolder);

  static constexpr const char* FolderName = kKeptMusicFolder;
  // "<the definition's folder>Original music", without a trailing delimiter.
  const std::string& Folder() const { return FFolder; }
  TKeptState State() const;
  // Why State() is Damaged: a file named and what is wrong with it ("" unless Damaged).
  std::string Damage() const;
  // The files a keep would copy now, with their sizes (CRC 0): the definition, each archive it names
  // that exists, each preload archive that exists.
  std::vector<TKeptFile> FilesToKeep() const;
  // The bytes a keep would copy now.
  int64_t SizeToKeep() const;

  // Copies the files (see above), then removes a "No" marker. Progress is told the bytes copied of all;
  // Cancel is read between blocks: once set, the copies are deleted, nothing is kept and false returned.
  // Raises "The original music is already kept in ..." when it is (a copy is never made over another),
  // "The kept original music in ... is damaged: ..." when State() is Damaged (set it aside first), an
  // Exception when Journal has a transaction under way (the copy must come before any change), and
  // the file layer's errors; the journal is then rolled back and nothing counts as kept.
  bool Keep(TWriteJournal& Journal, const TRebuildProgress& Progress = {},
            const std::atomic<bool>* Cancel = nullptr);
  // Remembers the user's "No" in the folder (created if missing). Raises the file layer's errors.
  void Decline();
  // When State() is Damaged: renames the whole folder to the first free "Original music (set aside
  // <date> <hhmm>)" beside it (nothing in it is deleted) and declines in a fresh folder, so that no copy
  // of music that may have changed passes for the original. Returns what was set aside; nothing when the
  // folder was not damaged. Raises the file layer's errors.
  std::optional<TSetAside> SetAsideIfDamaged();

  // The kept files, from the manifest. Raises "No original music is kept in ..." when nothing is kept, and
  // "The kept original music in ... is damaged: ..." when State() is Damaged.
  std::vector<TKeptFile> Kept() const;
  // Puts every kept file back in its place: the definition and its archives as one commit through Journal
  // (the definition's; the caller holds its lock and has nothing open on the files), then the preload
  // archives as one commit through the journal beside them. Every kept file is first checked against its
  // size and CRC, before anything is replaced: "The kept copy of ... is damaged: ...". Raises as Kept and
  // as Keep; on failure the files of the commit under way hold their old bytes, or (after the commit is
  // recorded) the next recovery of that journal finishes it, and a restore made again finishes the rest.
  void Restore(TWriteJournal& Journal, const TRebuildProgress& Progress = {});

  // Where a kept file lives in the kept folder, and where it goes back to.
  std::string KeptPath(const TKeptFile& File) const;
  std::string TargetPath(const TKeptFile& File) const;
  // The kept definition, opened over the kept archives; nullptr when nothing is kept.
  std::unique_ptr<TStreamPack> LoadKeptDefinition() const;

private:
  std::string ManifestPath() const;
  std::string MarkerPath() const;
  // The kept files when the folder holds a whole kept copy; otherwise none, and Reason says what is wrong
  // (empty when nothing is kept at all).
  std::vector<TKeptFile> Inspect(std::string& Reason) const;
  std::vector<TKeptFile> ReadManifest() const; // empty unless State() is Kept
  // A file of a kept copy in a folder without a manifest ("" when none).
  std::string FileWithoutManifest() const;
  // Deletes the scratch copies of a keep that never reached its manifest; nothing else.
  void RemoveIncomplete() const;

  std::string FDefinition, FPreloadFolder, FFolder;
};

// The preload folder of a game laid out as the game installs itself: "preload" beside the definition's
// folder ("<game>/audio/streams.dat" gives "<game>/preload").
std::string DefaultPreloadFolder(const std::string& Definition);

// True when Path lies in a kept originals folder: its folder is "<x>/Original music/audio" or
// ".../preload", or the same below a folder set aside. Such files are the kept copy: nothing but a keep
// or a restore writes there.
bool IsInKeptFolder(const std::string& Path);
// The files of a manifest's bytes; empty when they are not a whole manifest (layout above). Checks the
// layout and each name's rules, not the files.
std::vector<TKeptFile> ParseKeptManifest(const std::vector<uint8_t>& Bytes);
std::vector<uint8_t> KeptManifestBytes(const std::vector<TKeptFile>& Files);
