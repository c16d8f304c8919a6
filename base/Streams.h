#pragma once
// Byte streams: the abstract TStream, files (TFileStream) and memory (TMemoryStream). Positions and sizes
// are 64-bit; the formats above store 32-bit values and check their range themselves.

#include "platform/File.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

using platform::SeekOrigin;

class TStream {
public:
  virtual ~TStream() = default;

  // Reads up to Count bytes and returns how many were read (fewer only at the end or on a read failure).
  virtual size_t Read(void* Buffer, size_t Count) = 0;
  // Writes up to Count bytes and returns how many were written (fewer only on a failure).
  virtual size_t Write(const void* Buffer, size_t Count) = 0;
  // Moves the position and returns the new one.
  virtual int64_t Seek(int64_t Offset, SeekOrigin Origin) = 0;
  virtual int64_t Size();
  virtual void SetSize(int64_t NewSize) = 0;

  int64_t Position() { return Seek(0, SeekOrigin::Current); }
  void SetPosition(int64_t NewPosition) { Seek(NewPosition, SeekOrigin::Begin); }

  // Reads exactly Count bytes or raises EReadError.
  void ReadBuffer(void* Buffer, size_t Count);
  // Writes exactly Count bytes or raises EWriteError.
  void WriteBuffer(const void* Buffer, size_t Count);

  // Copies exactly Count bytes from Source's position to this stream's position, in blocks, and returns
  // Count. Raises EReadError if Source ends first, EWriteError if a write fails.
  int64_t CopyFrom(TStream& Source, int64_t Count);

  static constexpr size_t kCopyBlockSize = 1 << 20;
};

// While an instance lives, CopyFrom reports each block it has moved to OnBlock, with the block's size, so
// that a long copy can show its progress. Instances nest: the innermost observes.
class TCopyObserver {
public:
  explicit TCopyObserver(std::function<void(int64_t Bytes)> OnBlock);
  ~TCopyObserver();
  TCopyObserver(const TCopyObserver&) = delete;
  TCopyObserver& operator=(const TCopyObserver&) = delete;
  static void Notify(int64_t Bytes);

private:
  std::function<void(int64_t)> FOnBlock;
  TCopyObserver* FOuter;
};

// Access modes of a file stream; see platform::FileAccess for the sharing each allows.
using TFileAccess = platform::FileAccess;

class TFileStream : public TStream {
public:
  // Opens FileName; raises EFOpenError (Read, ReadWrite) or EFCreateError (Create) with the system's
  // reason when the file cannot be opened.
  TFileStream(const std::string& FileName, TFileAccess Access);

  size_t Read(void* Buffer, size_t Count) override;
  size_t Write(const void* Buffer, size_t Count) override;
  int64_t Seek(int64_t Offset, SeekOrigin Origin) override;
  int64_t Size() override;
  void SetSize(int64_t NewSize) override;
  // Waits until every byte written is on the disk; raises the OS error when the system cannot say so.
  void Flush();

  const std::string& FileName() const { return FFileName; }

private:
  platform::File FFile;
  std::string FFileName;
};

// Copies the whole of Source over Target (created, or emptied when it exists) and waits until the copy is
// on the disk. Raises the OS error of the first step that fails; Target may then be partly written.
void CopyWholeFile(const std::string& Source, const std::string& Target);

// Deletes Path when it names a file (an empty Path names none). True when no file is left there.
bool DeleteIfPresent(const std::string& Path);

// Reads another stream through a buffer, so that a reader taking a few bytes at a time makes one system
// call per block rather than per field. Read-only; positions are the source's. The source must not be
// moved by anyone else while the reader is in use.
class TBufferedReader : public TStream {
public:
  explicit TBufferedReader(TStream& Source, size_t BufferSize = kCopyBlockSize);

  size_t Read(void* Buffer, size_t Count) override;
  size_t Write(const void*, size_t) override { return 0; }
  int64_t Seek(int64_t Offset, SeekOrigin Origin) override;
  int64_t Size() override { return FSource.Size(); }
  // Raises "Stream write error": the reader cannot change its source.
  void SetSize(int64_t NewSize) override;

private:
  TStream& FSource;
  std::vector<uint8_t> FBuffer;
  int64_t FBufferStart = 0; // source position of FBuffer[0]
  size_t FFilled = 0;       // valid bytes in FBuffer
  int64_t FPosition = 0;
};

class TMemoryStream : public TStream {
public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> Bytes) : FBytes(std::move(Bytes)) {}

  size_t Read(void* Buffer, size_t Count) override;
  size_t Write(const void* Buffer, size_t Count) override;
  int64_t Seek(int64_t Offset, SeekOrigin Origin) override;
  int64_t Size() override { return static_cast<int64_t>(FBytes.size()); }
  void SetSize(int64_t NewSize) override;

  const std::vector<uint8_t>& Bytes() const { return FBytes; }
  uint8_t* Memory() { return FBytes.data(); }
  void Clear();

  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName);

private:
  std::vector<uint8_t> FBytes;
  int64_t FPosition = 0;
};
