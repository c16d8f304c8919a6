#include "platform/Recording.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

struct TChange {
  bool IsWrite = true;
  int64_t Offset = 0; // a write's position, or the new length
  std::vector<char> Bytes;
};

struct TShadow {
  std::vector<char> Durable;
  std::vector<TChange> Pending;
};

bool Recording = false;
std::map<std::string, TShadow> Shadows; // by the path the file has now

std::vector<char> ReadWhole(const std::string& Path) {
  std::vector<char> Bytes;
  int Fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC);
  if (Fd < 0)
    return Bytes;
  char Block[65536];
  for (ssize_t Got; (Got = ::read(Fd, Block, sizeof Block)) > 0;)
    Bytes.insert(Bytes.end(), Block, Block + Got);
  ::close(Fd);
  return Bytes;
}

void WriteWhole(const std::string& Path, const std::vector<char>& Bytes) {
  int Fd = ::open(Path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (Fd < 0)
    return;
  for (size_t Done = 0; Done < Bytes.size();) {
    ssize_t Put = ::write(Fd, Bytes.data() + Done, Bytes.size() - Done);
    if (Put <= 0)
      break;
    Done += static_cast<size_t>(Put);
  }
  ::close(Fd);
}

void Apply(std::vector<char>& Content, const TChange& Change, CutMode Mode) {
  if (!Change.IsWrite) {
    Content.resize(static_cast<size_t>(Change.Offset));
    return;
  }
  size_t Count = Change.Bytes.size();
  if (Mode == CutMode::Tear) // only the sector the write started in reached the disk
    Count = std::min<size_t>(Count, static_cast<size_t>(512 - Change.Offset % 512));
  size_t End = static_cast<size_t>(Change.Offset) + Count;
  if (Content.size() < End)
    Content.resize(End);
  std::memcpy(Content.data() + Change.Offset, Change.Bytes.data(), Count);
}

} // namespace

void StartRecording() {
  Shadows.clear();
  Recording = true;
}

void StopRecording() {
  Recording = false;
  Shadows.clear();
}

void CutPower(CutMode Mode) {
  WriteCutState(Mode);
  Recording = false;
  Shadows.clear();
}

void WriteCutState(CutMode Mode) {
  for (const auto& [Path, Shadow] : Shadows) {
    if (Shadow.Pending.empty())
      continue;
    std::vector<char> Content = Shadow.Durable;
    if (Mode == CutMode::Tear)
      for (const TChange& Change : Shadow.Pending)
        Apply(Content, Change, Mode);
    WriteWhole(Path, Content);
  }
}

namespace recording {

void Touch(const std::string& Path) {
  if (Recording && Shadows.count(Path) == 0)
    Shadows[Path].Durable = ReadWhole(Path);
}

void Write(const std::string& Path, int64_t Offset, const void* Bytes, size_t Count) {
  if (!Recording)
    return;
  Touch(Path);
  const char* Begin = static_cast<const char*>(Bytes);
  Shadows[Path].Pending.push_back({true, Offset, std::vector<char>(Begin, Begin + Count)});
}

void SetSize(const std::string& Path, int64_t Size) {
  if (!Recording)
    return;
  Touch(Path);
  Shadows[Path].Pending.push_back({false, Size, {}});
}

void Flushed(const std::string& Path) {
  if (!Recording || Shadows.count(Path) == 0)
    return;
  Shadows[Path] = TShadow{ReadWhole(Path), {}};
}

void Moved(const std::string& Source, const std::string& Target) {
  if (!Recording)
    return;
  Shadows.erase(Target);
  auto Found = Shadows.find(Source);
  if (Found == Shadows.end())
    return;
  TShadow Shadow = std::move(Found->second);
  Shadows.erase(Found);
  Shadows[Target] = std::move(Shadow);
}

void Deleted(const std::string& Path) {
  if (Recording)
    Shadows.erase(Path);
}

} // namespace recording
} // namespace platform
