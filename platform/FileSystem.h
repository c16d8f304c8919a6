#pragma once
// File-system services of the OS seam. Functions returning int give 0 on success or the system's error
// code; the layer above raises it as an OS error.

#include <string>
#include <vector>

namespace platform {

// The path delimiter of the platform's paths.
char PathDelimiter();

// The line break of the platform's texts.
const char* LineBreak();

// The system's text for an error code, without trailing line breaks or period; empty if it has none.
std::string SystemErrorText(int ErrorCode);

// The error code of an access refused (for tests and fault injection).
int AccessDeniedError();
// The error code of a full disk (for tests and fault injection).
int DiskFullError();
// The error code with which an open refuses a path that names no regular file (a device, a pipe, a
// socket); a folder gives the system's own code for folders.
int NotAFileError();

// The absolute form of Path (relative paths are taken from the current folder).
std::string FullPath(const std::string& Path);
std::wstring FullPath(const std::wstring& Path);

// True if Path names an existing regular file (a folder is not a file).
bool IsFile(const std::string& Path);

int DeleteFile(const std::string& Path);

// Renames Source to Target; fails if Target exists.
int MoveFile(const std::string& Source, const std::string& Target);

// The same for a file name the user picked in a dialog, which the ANSI code page may not hold.
bool IsFile(const std::wstring& Path);
int DeleteFile(const std::wstring& Path);
int MoveFile(const std::wstring& Source, const std::wstring& Target);
// A name of the file at Path that the narrow file calls open: Path itself when the file names hold its
// characters, else the file's short name (Windows; the converted Path when it has none).
std::string NarrowFileName(const std::wstring& Path);
// The name (not the path) of the file at Path in UTF-8: on Windows its long name, also when Path gives a
// short name for it (as NarrowFileName and FilesInFolder do); natively the name's own bytes.
std::string OwnFileNameUtf8(const std::string& Path);

// Puts Source in Target's place in one step: Target, if it exists, is never deleted before Source's bytes
// are in place under Target's name. When Source lies on another volume it is first copied into Target's
// folder under a scratch name, so the last step is always a rename within one volume. On success Source no
// longer exists; on failure Target is as it was.
int ReplaceFile(const std::string& Source, const std::string& Target);

// Makes the renames, creations and deletions done so far in Folder durable (POSIX: fsync of the folder;
// Windows has nothing to do: the file system journals its names and the renames are written through).
int FlushFolder(const std::string& Folder);

// The system's temporary folder, with a trailing delimiter, as GetTempPathA gives it (at most 245
// characters on Windows). Natively $TMPDIR, or /tmp.
int TempFolder(std::string& Folder);

// Creates an empty file with a unique name made from Prefix in Folder and returns its full path in Name.
int CreateUniqueFile(const std::string& Folder, const std::string& Prefix, std::string& Name);

// The names (not paths) of the regular files directly in Folder, in no particular order; on Windows a name
// that the file names' code page lacks is given as the file's short name, as NarrowFileName gives it.
// Returns the system's error code when the folder cannot be read.
int FilesInFolder(const std::string& Folder, std::vector<std::string>& Names);

// True if Path names an existing folder.
bool IsFolder(const std::string& Path);

// Creates the folder Path, whose parent must exist; a folder already there is no error. A fault of the
// kind Create.
int CreateFolder(const std::string& Path);
// Removes the folder Path when it is empty; a folder that is not there, or not empty, is left as it is
// and no error.
void RemoveEmptyFolder(const std::string& Path);

} // namespace platform
