// Runs a fuzz target over files and folders of inputs (every file of a folder, in name order), as the
// test suites do with the committed corpus and crash inputs. Exits 0 when every input ran; a finding
// aborts the process.

#include "fuzz/Fuzz.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

std::vector<std::filesystem::path> Inputs(const std::filesystem::path& Path) {
  if (!std::filesystem::is_directory(Path))
    return {Path};
  std::vector<std::filesystem::path> Files;
  for (const auto& Entry : std::filesystem::directory_iterator(Path))
    if (Entry.is_regular_file())
      Files.push_back(Entry.path());
  std::sort(Files.begin(), Files.end());
  return Files;
}

} // namespace

int main(int argc, char** argv) {
  size_t Count = 0;
  for (int I = 1; I < argc; ++I) {
    if (!std::filesystem::exists(argv[I])) {
      std::fprintf(stderr, "no such input: %s\n", argv[I]);
      return 1;
    }
    for (const auto& File : Inputs(argv[I])) {
      std::ifstream In(File, std::ios::binary);
      fuzz::Bytes Data{std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
      LLVMFuzzerTestOneInput(Data.data(), Data.size());
      ++Count;
    }
  }
  std::printf("%zu inputs replayed\n", Count);
  return Count == 0 ? 1 : 0;
}
