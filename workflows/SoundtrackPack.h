#pragma once
// A soundtrack pack (".orvikpack"): the songs and descriptions by which a definition differs from the
// game's original music, in one file that another player applies to their own game.
//
// The file is a BIGF archive (archive/uEAStream.h) of its own layout:
//   "manifest"        the manifest below, the first entry
//   "songs/<N>.asf"   song N of the manifest: the bytes of an archive entry, exactly as the game stores it
// Manifest (integers little-endian, texts as u32 length and bytes, nothing before or after):
//   "ORVKPACK", u32 format version (2), u32 flags (bit 0: the samples are those that differ from the
//   kept original music; without it, every sample)
//   u32 song count (at most kMaxPackSongs); per song: text pack entry, text archive (its name in the
//   definition that made the pack), text entry name there, u32 size of the song's bytes, u32 CRC-32 of them
//   u32 sample count (at most kMaxPackSamples); per sample, ordered by stream, then position, each pair once:
//     u32 stream, u32 position, u32 song, u32 offset of the sample in the song's data,
//     u8 described (0 or 1); when 1: text name, text singer, text album (at most 63 bytes each, printable:
//     no byte below 0x20, no 0x7F)
//     u8 loudness known (0 or 1); when 1: i64 integrated loudness in hundredths of a LUFS
//   u32 CRC-32 of every byte before
// Version 1, still read, is the same without each song's size and CRC-32.
//
// A pack comes from anyone: the reader checks every count against a limit and the bytes that remain before
// it reserves anything, every song against the pack's directory and file size, its size and CRC-32 in the
// manifest, and against the EA stream reader, every name against the rules of a definition's names
// (base/Paths.h), and every position against a limit. Applying a pack writes only into archives that the
// target definition already names.

#include "archive/uEAStream.h"
#include "definitions/DefinitionSession.h"
#include "definitions/uTypes.h"
#include "workflows/Converter.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The size and CRC-32 of a song's bytes, by which songs are compared and a pack's songs checked.
struct TSongDigest {
  uint32_t Size = 0, Crc = 0;
  bool operator==(const TSongDigest&) const = default;
};

struct TPackSong {
  std::string Entry;   // its entry in the pack
  std::string Archive; // the archive that held it, by its name in the definition that made the pack
  std::string Name;    // its entry's name there
  TSongDigest Digest;  // of its bytes; read from a version 1 manifest, 0 until ReadPack measures the song
};

struct TPackSample {
  int32_t Stream = 0, Position = 0;
  int32_t Song = 0;        // in the manifest's songs
  uint32_t SongOffset = 0; // where the sample starts in the song's data (0 but for samples inside an entry)
  bool Described = false;  // false: the sample has no description
  std::string Name, Singer, Album;
  std::optional<double> Loudness; // LUFS, when it was measured
};

struct TPackManifest {
  bool AgainstOriginals = false;
  std::vector<TPackSong> Songs;
  std::vector<TPackSample> Samples;
  bool Digested = true; // false when read from a version 1 manifest, whose songs carry no digest
};

// The largest stream index and position a pack may name.
constexpr int32_t kMaxPackIndex = (1 << 20) - 1;
// The most songs and samples a pack may hold, and the largest song: each song is read whole to be checked.
constexpr uint32_t kMaxPackSongs = 4096;
constexpr uint32_t kMaxPackSamples = 16384;
constexpr uint32_t kMaxPackSongBytes = 64u << 20;

std::vector<uint8_t> PackManifestBytes(const TPackManifest& Manifest);
// Raises "The soundtrack pack is damaged: <reason>" for bytes that are not a whole, valid manifest.
TPackManifest ParsePackManifest(const std::vector<uint8_t>& Bytes);

// A pack opened for reading: its manifest, and the archive whose entries hold the songs.
struct TSoundtrackPack {
  TPackManifest Manifest;
  TEAStream Archive;
  std::vector<TEAStreamFile*> Songs; // the entry of each song of the manifest
};

// Opens and checks the pack at Path, reading each song whole. Raises the archive reader's errors, and "The
// soundtrack pack is damaged: <reason>" for a manifest that is missing or invalid, a song the pack does not
// hold, one that is empty, too large, of another size or CRC-32 than the manifest gives, or not an EA
// stream that the game can read (a PC stream that the converter's reader reads whole), or a sample whose
// offset lies outside its song. Songs of a version 1 manifest get the digest of what the pack holds.
std::unique_ptr<TSoundtrackPack> ReadPack(const std::string& Path);

struct TPackExportOptions {
  TConverter* Converter = nullptr; // when given, each song's loudness is measured and written
};

struct TPackExport {
  TPackManifest Manifest;
  std::vector<std::string> Unbound; // "stream S sample K": samples bound to no entry, left out
};

// Writes the pack of Pack at PackPath: with Originals (the kept original definition, opened over its kept
// archives), the samples whose song or description differs from the sample at the same stream and
// position of the originals, or that the originals lack; without, every sample. A control character of a
// description is written as '?'. The pack is written beside PackPath, flushed, then put in its place in
// one step. Raises "The soundtrack pack would hold more than <N> songs" (or samples) before anything is
// written, the archive and file layer's errors and the converter's.
TPackExport ExportPack(const TStreamPack& Pack, const TStreamPack* Originals, const std::string& PackPath,
                       const TPackExportOptions& Options = {});

// What applying a pack would do to one sample.
struct TPackChange {
  enum TSong {
    Same,    // the sample already holds the song
    Follows, // its entry takes the song through another sample of the pack that shares it
    Replace, // the song replaces the data of the sample's entry, in place
    Add,     // the song becomes a new entry (EntryName) of the archive at ArchiveIndex
    Bind,    // the sample is bound to the entry that an earlier sample of the pack added
  };
  size_t Sample = 0; // in the manifest's samples
  int32_t Stream = 0, Position = 0;
  bool NewSample = false; // appended to its stream
  TSong Song = Same;
  int32_t ArchiveIndex = 0;
  std::string EntryName; // for Add and Bind
  std::string OldSong;   // the sample's entry now, empty for a new sample or none
  bool DescriptionChanges = false;
  bool DescriptionInPlace = false;            // every sample that shares the description is to read the same
  std::string OldDescription, NewDescription; // "Singer - Name (Album)", or "(none)"
  bool Changes() const {
    return NewSample || Song == Replace || Song == Add || Song == Bind || DescriptionChanges;
  }
};

// A sample of the pack that does not fit the target definition's shape.
struct TPackMismatch {
  int32_t Stream = 0, Position = 0;
  std::string Reason;
};

struct TPackPlan {
  std::vector<TPackChange> Changes; // every sample of the pack that fits, in the pack's order
  std::vector<TPackMismatch> Unmatched;
  size_t ChangeCount() const;
};

// What applying Pack to Target would change, reading the songs of both (raises the file layer's errors).
// A sample at a position before the stream's end is changed in place; one right after it (counting the
// samples the pack appends) is appended; a stream the target lacks, or a position beyond the end, is
// listed as unmatched. A song replaces its sample's entry in place only when every sample bound to that
// entry is to hold the same song; else it becomes a new entry of the sample's archive. A new sample's song
// goes to the archive of its name in the target, else to the archive of the stream's last sample.
TPackPlan PlanPack(const TStreamPack& Target, const TSoundtrackPack& Pack);

struct TPackApplied {
  TPackPlan Plan;
  bool Replaced = false; // an entry's data was replaced in place: a save should rebuild the archives
};

// Applies the plan of Pack to Target, whose definition Session holds: each song is written through the
// session's import journal as an import is, and descriptions are set (in place when the sample alone uses
// its own, else as a new description). The definition is not saved: the caller saves once (or discards,
// which undoes every song); a description that only samples of the pack share, all to read the same,
// changes in place. Raises, with what was written before staying journaled, the archive's and
// the file layer's errors.
TPackApplied ApplyPack(TStreamPack& Target, TDefinitionSession& Session, const TSoundtrackPack& Pack);

// The size and CRC-32 of an entry's data. Raises the file layer's errors.
TSongDigest DigestOf(const TEAStreamFile& Entry);
// The entry of Sample, or nullptr when its archive index or offset leads nowhere.
TEAStreamFile* EntryOfSample(const TStreamData& Sample);
// True when Sample's description (or its having none) is the one Packed gives.
bool SameDescription(const TStreamData& Sample, const TPackSample& Packed);
// Text from a file made fit to print: each control character (a byte below 0x20, or 0x7F) becomes '?'.
std::string PrintableText(const std::string& Text);
