#pragma once
// An open file of the OS, with the sharing modes the system relies on. Every call returns 0 on success
// or the system's error code (GetLastError on Windows, errno on POSIX); the layer above turns codes into
// exceptions. On POSIX the sharing modes are emulated with advisory locks (flock), which other programs
// honour only if they lock too, but which make the program's own opens exclude each other as on Windows.

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

enum class FileAccess {
  Read,      // an existing file, for reading; others may read it but not write it
  ReadWrite, // an existing file, for reading and writing; no sharing
  Create,    // created or truncated, for reading and writing; no sharing
};

enum class SeekOrigin { Begin, Current, End };

class File {
public:
  File() = default;
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens Path; a file already open is closed first. Create never truncates a file another open holds.
  int Open(const std::string& Path, FileAccess Access);
  void Close();
  bool IsOpen() const;

  // Done receives the byte count transferred; a read at the end of the file gives 0 and Done = 0.
  int Read(void* Buffer, size_t Count, size_t& Done);
  int Write(const void* Buffer, size_t Count, size_t& Done);
  int Seek(int64_t Offset, SeekOrigin Origin, int64_t& NewPosition);
  int GetSize(int64_t& Size);
  // Sets the length of the file; the position is left where it was.
  int SetSize(int64_t Size);
  // Waits until every byte written so far is on the disk (fsync, FlushFileBuffers): only then may another
  // file be made to rely on this one.
  int Flush();

private:
  intptr_t FHandle = -1;
  std::string FPath; // as opened, for the power-cut recording of tests
};

} // namespace platform
