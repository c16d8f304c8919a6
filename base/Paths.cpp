#include "base/Paths.h"
#include "platform/FileSystem.h"

#include <cctype>
#include <ctime>

namespace {

bool IsDelimiter(char C) {
  return C == '/' || C == '\\' || C == ':';
}

size_t NameStart(const std::string& Path) {
  size_t I = Path.size();
  while (I > 0 && !IsDelimiter(Path[I - 1]))
    --I;
  return I;
}

bool IsFolderDelimiter(char C) {
  return C == '/' || C == '\\';
}

std::string UpperCase(std::string Text) {
  for (char& C : Text)
    C = static_cast<char>(std::toupper(static_cast<unsigned char>(C)));
  return Text;
}

// Windows opens a device for these names in any folder, whatever extension follows; the superscript
// digits are those of the ANSI code page.
bool IsDeviceName(const std::string& Part) {
  std::string Stem = Part.substr(0, Part.find('.'));
  while (!Stem.empty() && Stem.back() == ' ')
    Stem.pop_back();
  Stem = UpperCase(Stem);
  for (const char* Device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
    if (Stem == Device)
      return true;
  if (Stem.size() != 4 || (Stem.compare(0, 3, "COM") != 0 && Stem.compare(0, 3, "LPT") != 0))
    return false;
  return std::isdigit(static_cast<unsigned char>(Stem[3])) ||
         std::string("\xB9\xB2\xB3").find(Stem[3]) != std::string::npos;
}

} // namespace

bool IsPathInsideFolder(const std::string& Name) {
  if (Name.empty())
    return true;
  if (IsFolderDelimiter(Name[0]) || Name.find(':') != std::string::npos)
    return false;
  int Depth = 0;
  size_t Start = 0;
  while (Start <= Name.size()) {
    size_t End = Start;
    while (End < Name.size() && !IsFolderDelimiter(Name[End]))
      ++End;
    std::string Part = Name.substr(Start, End - Start);
    Start = End + 1;
    if (Part.empty() || Part == ".")
      continue;
    if (Part == "..") {
      if (--Depth < 0)
        return false;
      continue;
    }
    if (Part.back() == '.' || Part.back() == ' ' || IsDeviceName(Part))
      return false;
    ++Depth;
  }
  return true;
}

std::string ExtractFilePath(const std::string& Path) {
  return Path.substr(0, NameStart(Path));
}

std::string ExtractFileName(const std::string& Path) {
  return Path.substr(NameStart(Path));
}

std::wstring ExtractFileName(const std::wstring& Path) {
  size_t I = Path.size();
  while (I > 0 && (Path[I - 1] > 0x7F || !IsDelimiter(static_cast<char>(Path[I - 1]))))
    --I;
  return Path.substr(I);
}

std::string ExtractFileExt(const std::string& Path) {
  size_t Dot = Path.rfind('.');
  return Dot == std::string::npos || Dot < NameStart(Path) ? std::string() : Path.substr(Dot);
}

std::string ChangeFileExt(const std::string& Path, const std::string& Extension) {
  size_t Dot = Path.rfind('.');
  size_t End = Dot == std::string::npos || Dot < NameStart(Path) ? Path.size() : Dot;
  return Path.substr(0, End) + Extension;
}

std::string IncludeTrailingPathDelimiter(const std::string& Path) {
  if (!Path.empty() && (Path.back() == '/' || Path.back() == '\\'))
    return Path;
  return Path + platform::PathDelimiter();
}

std::string JoinPath(const std::string& Folder, const std::string& Name) {
  return IncludeTrailingPathDelimiter(Folder) + Name;
}

std::string SetAsideName(const std::string& Path) {
  std::time_t Now = std::time(nullptr);
  char Stamp[32] = "";
  if (const std::tm* Local = std::localtime(&Now))
    std::strftime(Stamp, sizeof Stamp, "%Y-%m-%d %H%M%S", Local);
  const std::string Stem = Path + " (set aside " + Stamp;
  std::string Name = Stem + ")";
  for (int N = 2; platform::IsFile(Name) || platform::IsFolder(Name); ++N)
    Name = Stem + " " + std::to_string(N) + ")";
  return Name;
}
