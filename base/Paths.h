#pragma once
// Path text helpers. Both delimiters are accepted on reading; the platform's own is written.

#include <string>

// The folder part of Path, with its trailing delimiter ("" if there is none).
std::string ExtractFilePath(const std::string& Path);

// The name part of Path, after the last delimiter.
std::string ExtractFileName(const std::string& Path);

// The extension of Path's name, with its dot ("" if there is none).
std::string ExtractFileExt(const std::string& Path);

// Path with its name's extension replaced by Extension (which includes the dot, or is empty).
std::string ChangeFileExt(const std::string& Path, const std::string& Extension);

// Path with a trailing delimiter added if it has none.
std::string IncludeTrailingPathDelimiter(const std::string& Path);

// Folder and Name joined by the platform's delimiter.
std::string JoinPath(const std::string& Folder, const std::string& Name);
