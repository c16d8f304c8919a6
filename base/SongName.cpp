#include "base/SongName.h"

namespace {

bool IsBlank(unsigned char C) {
  return C <= 0x20 || C == 0x7F;
}

} // namespace

std::string Trimmed(const std::string& Text) {
  size_t Begin = 0, End = Text.size();
  while (Begin < End && IsBlank(static_cast<unsigned char>(Text[Begin])))
    ++Begin;
  while (End > Begin && IsBlank(static_cast<unsigned char>(Text[End - 1])))
    --End;
  return Text.substr(Begin, End - Begin);
}

TSongName SongNameFromFile(const std::string& Path) {
  const size_t Slash = Path.find_last_of("/\\");
  std::string Name = Slash == std::string::npos ? Path : Path.substr(Slash + 1);
  const size_t Dot = Name.rfind('.');
  if (Dot != std::string::npos && Dot > 0)
    Name.resize(Dot);
  TSongName Song;
  const size_t Dash = Name.find(" - ");
  if (Dash == std::string::npos) {
    Song.Title = Trimmed(Name);
  } else {
    Song.Artist = Trimmed(Name.substr(0, Dash));
    Song.Title = Trimmed(Name.substr(Dash + 3));
  }
  return Song;
}
