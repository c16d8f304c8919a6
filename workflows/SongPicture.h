#pragma once
// A song of an archive entry as the converter describes it: its length, codec, rate, channels, loudness,
// peaks and outline. The entry's bytes are read once, on the caller's thread (the archive is not shared),
// and identify the song: an entry whose data an import replaced is another song, one whose import was
// undone the same song again, and a save that moves the entry keeps its song.

#include "archive/uEAStream.h"
#include "workflows/Converter.h"

#include <cstdint>
#include <string>
#include <vector>

// Slices of a song's outline: a strip as wide as a large screen shows one or two per pixel column.
constexpr size_t kSongOutlinePoints = 2000;

// What tells one entry's song from another: the archive, the entry's name and a checksum of its bytes (not
// their place, which a save's rebuild moves).
struct TSongKey {
  std::string Archive, Entry;
  uint32_t Size = 0, Crc = 0;
  auto operator<=>(const TSongKey&) const = default;
};

struct TEntrySong {
  TSongKey Key;
  std::vector<uint8_t> Bytes;
};

// The bytes of Entry and their key. Raises the file layer's errors.
TEntrySong ReadEntrySong(TEAStreamFile& Entry);

// Measures a song held as Bytes (an entry's data) with an outline of Points slices: the bytes go to a
// scratch file, which the converter reads in one run and which is deleted after. The report's Error holds
// why the song could not be measured, the converter's errors included. Safe on any thread.
TMeasureReport MeasureSong(TConverter& Converter, const std::vector<uint8_t>& Bytes,
                           size_t Points = kSongOutlinePoints);
