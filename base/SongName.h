#pragma once
// A song's artist and title from its file's name, for a song without tags: the converter reports them so,
// and the editor takes them so when the converter only saw the file's short name.

#include <string>

struct TSongName {
  std::string Artist, Title;
};

// From the name after the path's last separator ("/" or "\"), without its extension: "Artist - Title",
// split at the first " - ", else the whole name as the title. Blanks and control characters around each
// part are dropped; the bytes are kept as they are.
TSongName SongNameFromFile(const std::string& Path);

// Text without the blanks and control characters (bytes up to 0x20, and 0x7F) around it.
std::string Trimmed(const std::string& Text);
