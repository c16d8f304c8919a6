#pragma once
// Definition files and archive directories for the tests, encoded and decoded independently of the code
// under test, and a folder holding a small pack with two archives.

#include "definitions/uTypes.h"
#include "tests/fixtures/Bigf.h"
#include "tests/fixtures/Definition.h"
#include "tests/fixtures/TestFiles.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace deftest {

using fixtures::Bytes;

using SampleRecord = fixtures::DefSample;
using DescriptionRecord = fixtures::DefDescription;
using DefinitionRecord = fixtures::Definition;
using fixtures::MakeDefinition;

Bytes LE32(uint32_t Value);

// An archive whose entries lie at the given offsets (past the directory, in ascending order).
struct PlacedEntry {
  std::string Name;
  uint32_t Offset;
  Bytes Data;
};
Bytes MakePlacedBigf(const std::vector<PlacedEntry>& Entries);

// One record of an archive directory as it is on disk.
struct DiskEntry {
  std::string Name;
  uint32_t Offset = 0;
  uint32_t Size = 0;
};
std::vector<DiskEntry> ReadDirectory(const Bytes& Archive);

// What a sample is bound to on disk: the entry of its archive file whose data holds its offset.
struct Binding {
  std::string Name; // "" when no entry holds the offset
  Bytes Data;
  bool operator==(const Binding&) const = default;
};
void PrintTo(const Binding& Item, std::ostream* Out);
// The binding of every sample of Pack, in stream order, read from the archive files on disk.
std::vector<Binding> BindingsOnDisk(const TStreamPack& Pack);
std::vector<std::string> Names(const std::vector<Binding>& Bindings);
// Every entry of an archive file, in directory order, with its data.
std::vector<Binding> Contents(const Bytes& Archive);

// The archive's directory in memory is the one on disk (same entries, offsets and sizes) and it has no
// pending offsets.
testing::AssertionResult MemoryMatchesDisk(const TEAStream& Archive);
// The archive file is laid out anew: every entry's data at a multiple of 64, packed in directory order,
// and the file ends with the last entry's data.
testing::AssertionResult IsCompact(const Bytes& Archive);

// A folder with a small pack: alpha.viv (a0 empty, a1, a2, a3) and beta.viv (b1, b2, b3), two
// descriptions and three streams, two of which share files:
//   stream 0: a1, a2, b1, a2   stream 1: a2, b3, b1   stream 2: empty
class PackFolder {
public:
  PackFolder();

  std::unique_ptr<TStreamPack> Open() const;
  std::string DefinitionPath() const { return Dir.File("streams.dat"); }
  std::string ArchivePath(int Index) const { return Dir.File(Index == 0 ? "alpha.viv" : "beta.viv"); }
  static std::vector<std::string> SampleNames();

  fixtures::TempDir Dir;
};

} // namespace deftest
