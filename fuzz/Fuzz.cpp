#include "fuzz/Fuzz.h"

#include "archive/uEAStream.h"
#include "base/Streams.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>

namespace fuzz {
namespace {

struct TScratch {
  std::map<std::string, std::string> Paths;
  ~TScratch() {
    std::error_code Ignored;
    for (const auto& Entry : Paths)
      std::filesystem::remove_all(Entry.second, Ignored);
  }
};

} // namespace

void Finding(const char* Property) {
  std::fprintf(stderr, "fuzz finding: %s\n", Property);
  std::fflush(stderr);
  std::abort();
}

const std::string& ScratchPath(const std::string& Prefix) {
  static TScratch Scratch;
  auto Found = Scratch.Paths.find(Prefix);
  if (Found == Scratch.Paths.end())
    Found = Scratch.Paths.emplace(Prefix, MakeTempFileName(Prefix)).first;
  return Found->second;
}

void WriteFile(const std::string& Path, const uint8_t* Data, size_t Size) {
  TFileStream File(Path, TFileAccess::Create);
  File.WriteBuffer(Data, Size);
}

} // namespace fuzz
