#pragma once
// Path text helpers. Both delimiters are accepted on reading; the platform's own is written.

#include <string>

// The folder part of Path, with its trailing delimiter ("" if there is none).
std::string ExtractFilePath(const std::string& Path);

// The name part of Path, after the last delimiter.
std::string ExtractFileName(const std::string& Path);
std::wstring ExtractFileName(const std::wstring& Path);

// The extension of Path's name, with its dot ("" if there is none).
std::string ExtractFileExt(const std::string& Path);

// Path with its name's extension replaced by Extension (which includes the dot, or is empty).
std::string ChangeFileExt(const std::string& Path, const std::string& Extension);

// Path with a trailing delimiter added if it has none.
std::string IncludeTrailingPathDelimiter(const std::string& Path);

// Folder and Name joined by the platform's delimiter.
std::string JoinPath(const std::string& Folder, const std::string& Name);

// True when Name, a path relative to a folder, names something inside that folder or a folder below it,
// under the rules of both Windows and POSIX (either delimiter separates folders). Refused: an absolute
// path, a drive ("C:", or any ':', which also opens alternate streams), UNC and device paths ("\\server",
// "\\.\", "\\?\"), a reserved device name in any part (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-9,
// LPT0-9, also with an extension or trailing blanks, as in "nul.viv"), a part ending in a dot or a blank
// (Windows drops those and would open another name), and any ".." that climbs above the folder.
bool IsPathInsideFolder(const std::string& Name);

// A free name beside Path (a file or a folder) to set it aside under: "<Path> (set aside 2026-12-09 031500)",
// the local time now, with " 2", " 3", ... before the parenthesis's end while that name is taken.
std::string SetAsideName(const std::string& Path);
