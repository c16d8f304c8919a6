#pragma once
// The game's soundtrack written out in one action: every song that the definition's samples play, once
// each, converted in parallel into one folder, named and tagged from its description, with one playlist
// per stream in the game's order. The window runs it in the batch window, the command-line tool as
// export-all.

#include "definitions/uTypes.h"
#include "workflows/Converter.h"

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// How the songs' files are named: "Singer - Name" from the description (the entry's name for a song
// without one), or the entry's name always.
enum class TSongNames { Description, Entry };

struct TSoundtrackSong {
  TEAStreamFile* File = nullptr; // the entry that holds the song
  std::string Name;              // its file in the folder: a Windows file name with the format's extension
  TSongTags Tags;                // from the description of the first sample that plays it
};

struct TSoundtrackPlaylist {
  std::string Name;          // "Stream <n>.m3u8", n as the tree numbers the stream
  std::vector<size_t> Songs; // positions in the plan's songs, one per sample, in the stream's order
};

struct TSoundtrackPlan {
  std::vector<TSoundtrackSong> Songs; // in the order the game first plays them
  std::vector<TSoundtrackPlaylist> Playlists;
};

// The songs of Pack's samples in Format (of Stream alone when given), each entry once; names that would
// be equal on Windows (case aside) get " (2)", " (3)", ... Raises "No stream <n>" for a stream that
// does not exist.
TSoundtrackPlan PlanSoundtrack(const TStreamPack& Pack, const TConverterFormat& Format, TSongNames Names,
                               std::optional<int32_t> Stream = std::nullopt);

// "Singer - Name", or the name alone; empty when the tags have no name.
std::string SongTitle(const TSongTags& Tags);

// Text as a Windows file name (without extension): characters that Windows refuses become "_", trailing
// dots and blanks go, a device name (CON, NUL, COM1, ...) gets a leading "_", at most 120 characters.
std::string SafeFileStem(const std::string& Text);

// The plan's files (songs, then playlists) already in Folder, as names.
std::vector<std::string> ExistingFiles(const TSoundtrackPlan& Plan, const std::string& Folder);

struct TSoundtrackSongResult {
  enum TState { Written, Failed, Cancelled } State = Cancelled;
  std::string Failure; // when failed: the converter's reason
};

struct TSoundtrackOptions {
  unsigned Workers = 0; // converters at a time; 0: one per processor
  // Read between songs: once set, no song starts, the songs in hand are finished, the rest are cancelled.
  const std::atomic<bool>* Cancel = nullptr;
  // On a worker thread as song Index starts converting.
  std::function<void(size_t Index)> SongStarted;
  // On the calling thread after each song, with its position and the plan's length.
  std::function<void(const TSoundtrackSongResult& Song, size_t Index, size_t Count)> SongDone;
};

struct TSoundtrackResult {
  std::vector<TSoundtrackSongResult> Songs; // one per planned song
  bool Cancelled = false;
  size_t WrittenCount() const;
};

// Writes the plan's songs into Folder (made when missing) in Format, then its playlists (UTF-8, names
// relative to the folder), each listing the songs that are in the folder. A file already there is
// replaced only by a whole new one: the converter writes beside it and renames, and a song that fails
// keeps the old file. A song the converter cannot convert is listed as failed with its reason and the
// rest go on. Raises the file layer's errors and "The converter could not be started", after the workers
// have stopped and with every scratch file gone.
TSoundtrackResult ExportSoundtrack(const TSoundtrackPlan& Plan, const std::string& Folder,
                                   TConverter& Converter, const TConverterFormat& Format,
                                   const TSoundtrackOptions& Options);
