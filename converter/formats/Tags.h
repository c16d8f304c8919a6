#pragma once
// Title, artist and album of a sound file, for naming a song. They come from the file's tags, whichever it
// holds, field by field in this order: an ID3v2 tag (at the start of the file, or in a Wave "id3 " or AIFF
// "ID3 " chunk), the container's own text (Wave LIST/INFO INAM, IART, IPRD; AIFF NAME and AUTH; FLAC's
// Vorbis comments TITLE, ARTIST, ALBUM), an ID3v1 tag at the end. A file whose tags give neither title nor
// artist is named by its file name, "Artist - Title.ext" or "Title.ext". Tags are read leniently: a damaged
// tag gives what was read before the damage and never an error.

#include "converter/Audio.h"

#include <string>

namespace sx {

// Valid UTF-8, without blanks at either end; empty when not known.
struct TTags {
  std::string Title;
  std::string Artist;
  std::string Album;

  // Fills each empty field from Other.
  void Complete(const TTags& Other);
  bool Empty() const { return Title.empty() && Artist.empty() && Album.empty(); }
};

// The tags of a file's content.
TTags ReadTags(const Bytes& Data);

// What a file name (with or without folders, either delimiter) tells: "Artist - Title.ext" or "Title.ext".
TTags TagsFromFileName(const std::string& Path);

// ReadTags(Data), with title and artist from the file name at Path when the tags give neither.
TTags ReadFileTags(const Bytes& Data, const std::string& Path);

// Reads the ID3v2 tag (versions 2.2, 2.3 and 2.4) at the start of Data[0, Size) into the empty fields of
// Tags. Returns false when Data does not start with one.
bool ReadId3v2(const uint8_t* Data, size_t Size, TTags& Tags);

// Reads an ID3v1 or ID3v1.1 tag in the last 128 bytes of Data into the empty fields of Tags.
void ReadId3v1(const Bytes& Data, TTags& Tags);

} // namespace sx
