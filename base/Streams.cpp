#include "base/Streams.h"
#include "base/Exceptions.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <cstring>

int64_t TStream::Size() {
  int64_t Here = Position();
  int64_t End = Seek(0, SeekOrigin::End);
  SetPosition(Here);
  return End;
}

void TStream::ReadBuffer(void* Buffer, size_t Count) {
  if (Count != 0 && Read(Buffer, Count) != Count)
    throw EReadError();
}

void TStream::WriteBuffer(const void* Buffer, size_t Count) {
  if (Count != 0 && Write(Buffer, Count) != Count)
    throw EWriteError();
}

int64_t TStream::CopyFrom(TStream& Source, int64_t Count) {
  std::vector<uint8_t> Block(static_cast<size_t>(std::min<int64_t>(Count, kCopyBlockSize)));
  for (int64_t Left = Count; Left > 0;) {
    size_t Chunk = static_cast<size_t>(std::min<int64_t>(Left, kCopyBlockSize));
    Source.ReadBuffer(Block.data(), Chunk);
    WriteBuffer(Block.data(), Chunk);
    Left -= static_cast<int64_t>(Chunk);
    TCopyObserver::Notify(static_cast<int64_t>(Chunk));
  }
  return Count;
}

void CopyWholeFile(const std::string& Source, const std::string& Target) {
  TFileStream In(Source, TFileAccess::Read);
  TFileStream Out(Target, TFileAccess::Create);
  Out.CopyFrom(In, In.Size());
  Out.Flush();
}

bool DeleteIfPresent(const std::string& Path) {
  if (Path.empty() || !platform::IsFile(Path))
    return true;
  return platform::DeleteFile(Path) == 0 || !platform::IsFile(Path);
}

namespace {
TCopyObserver* CurrentObserver = nullptr;
}

TCopyObserver::TCopyObserver(std::function<void(int64_t)> OnBlock)
    : FOnBlock(std::move(OnBlock)), FOuter(CurrentObserver) {
  CurrentObserver = this;
}

TCopyObserver::~TCopyObserver() {
  CurrentObserver = FOuter;
}

void TCopyObserver::Notify(int64_t Bytes) {
  if (CurrentObserver != nullptr && CurrentObserver->FOnBlock)
    CurrentObserver->FOnBlock(Bytes);
}

// The buffer is no larger than what the source holds from its position: most files read so are small.
TBufferedReader::TBufferedReader(TStream& Source, size_t BufferSize)
    : FSource(Source), FPosition(Source.Position()) {
  const int64_t Left = std::max<int64_t>(Source.Size() - FPosition, 1);
  FBuffer.resize(static_cast<size_t>(std::min<int64_t>(Left, static_cast<int64_t>(BufferSize))));
}

size_t TBufferedReader::Read(void* Buffer, size_t Count) {
  auto* Out = static_cast<uint8_t*>(Buffer);
  size_t Done = 0;
  while (Done < Count) {
    if (FPosition >= FBufferStart && FPosition < FBufferStart + static_cast<int64_t>(FFilled)) {
      size_t At = static_cast<size_t>(FPosition - FBufferStart);
      size_t Chunk = std::min(Count - Done, FFilled - At);
      std::memcpy(Out + Done, FBuffer.data() + At, Chunk);
      Done += Chunk;
      FPosition += static_cast<int64_t>(Chunk);
      continue;
    }
    FSource.SetPosition(FPosition);
    if (Count - Done >= FBuffer.size()) {
      size_t Direct = FSource.Read(Out + Done, Count - Done);
      Done += Direct;
      FPosition += static_cast<int64_t>(Direct);
      break;
    }
    FBufferStart = FPosition;
    FFilled = FSource.Read(FBuffer.data(), FBuffer.size());
    if (FFilled == 0)
      break;
  }
  return Done;
}

int64_t TBufferedReader::Seek(int64_t Offset, SeekOrigin Origin) {
  if (Origin == SeekOrigin::Begin)
    FPosition = Offset;
  else if (Origin == SeekOrigin::Current)
    FPosition += Offset;
  else
    FPosition = FSource.Size() + Offset;
  return FPosition;
}

void TBufferedReader::SetSize(int64_t) {
  throw EWriteError();
}

TFileStream::TFileStream(const std::string& FileName, TFileAccess Access) : FFileName(FileName) {
  if (int Error = FFile.Open(FileName, Access)) {
    if (Access == TFileAccess::Create)
      throw EFCreateError(FileName, Error);
    throw EFOpenError(FileName, Error);
  }
}

size_t TFileStream::Read(void* Buffer, size_t Count) {
  size_t Done = 0;
  FFile.Read(Buffer, Count, Done);
  return Done;
}

size_t TFileStream::Write(const void* Buffer, size_t Count) {
  size_t Done = 0;
  FFile.Write(Buffer, Count, Done);
  return Done;
}

int64_t TFileStream::Seek(int64_t Offset, SeekOrigin Origin) {
  int64_t Result = 0;
  if (FFile.Seek(Offset, Origin, Result) != 0)
    return -1;
  return Result;
}

int64_t TFileStream::Size() {
  int64_t Result = 0;
  if (FFile.GetSize(Result) != 0)
    throw EReadError();
  return Result;
}

void TFileStream::SetSize(int64_t NewSize) {
  if (FFile.SetSize(NewSize) != 0)
    throw EWriteError();
}

void TFileStream::Flush() {
  CheckOSError(FFile.Flush());
}

size_t TMemoryStream::Read(void* Buffer, size_t Count) {
  if (FPosition >= Size())
    return 0;
  size_t Done = std::min(Count, static_cast<size_t>(Size() - FPosition));
  std::memcpy(Buffer, FBytes.data() + FPosition, Done);
  FPosition += static_cast<int64_t>(Done);
  return Done;
}

size_t TMemoryStream::Write(const void* Buffer, size_t Count) {
  if (Count == 0)
    return 0;
  size_t End = static_cast<size_t>(FPosition) + Count;
  if (End > FBytes.size())
    FBytes.resize(End);
  std::memcpy(FBytes.data() + FPosition, Buffer, Count);
  FPosition = static_cast<int64_t>(End);
  return Count;
}

int64_t TMemoryStream::Seek(int64_t Offset, SeekOrigin Origin) {
  int64_t Base = Origin == SeekOrigin::Begin ? 0 : Origin == SeekOrigin::Current ? FPosition : Size();
  FPosition = std::max<int64_t>(0, Base + Offset);
  return FPosition;
}

void TMemoryStream::SetSize(int64_t NewSize) {
  FBytes.resize(static_cast<size_t>(NewSize));
  FPosition = std::min(FPosition, NewSize);
}

void TMemoryStream::Clear() {
  FBytes.clear();
  FPosition = 0;
}

void TMemoryStream::LoadFromFile(const std::string& FileName) {
  TFileStream File(FileName, TFileAccess::Read);
  std::vector<uint8_t> Bytes(static_cast<size_t>(File.Size()));
  File.ReadBuffer(Bytes.data(), Bytes.size());
  FBytes = std::move(Bytes);
  FPosition = 0;
}

void TMemoryStream::SaveToFile(const std::string& FileName) {
  TFileStream File(FileName, TFileAccess::Create);
  File.WriteBuffer(FBytes.data(), FBytes.size());
}
