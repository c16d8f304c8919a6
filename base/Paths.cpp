#include "base/Paths.h"
#include "platform/FileSystem.h"

namespace {

bool IsDelimiter(char C) { return C == '/' || C == '\\' || C == ':'; }

size_t NameStart(const std::string& Path) {
  size_t I = Path.size();
  while (I > 0 && !IsDelimiter(Path[I - 1]))
    --I;
  return I;
}

} // namespace

std::string ExtractFilePath(const std::string& Path) { return Path.substr(0, NameStart(Path)); }

std::string ExtractFileName(const std::string& Path) { return Path.substr(NameStart(Path)); }

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
