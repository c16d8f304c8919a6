#include "tests/definitions/PackFiles.h"

namespace deftest {
namespace {

void AppendBytes(Bytes& Out, const Bytes& More) {
  Out.insert(Out.end(), More.begin(), More.end());
}

Bytes Slice(const Bytes& From, uint32_t Offset, uint32_t Size) {
  return Bytes(From.begin() + Offset, From.begin() + Offset + Size);
}

const DiskEntry* EntryAt(const std::vector<DiskEntry>& Entries, uint32_t Offset) {
  for (const DiskEntry& Entry : Entries)
    if (Entry.Offset <= Offset && Offset - Entry.Offset < Entry.Size)
      return &Entry;
  return nullptr;
}

} // namespace

Bytes LE32(uint32_t Value) {
  Bytes Out;
  fixtures::AppendLE32(Out, Value);
  return Out;
}

Bytes MakePlacedBigf(const std::vector<PlacedEntry>& Entries) {
  Bytes Out = fixtures::TextBytes("BIGF");
  fixtures::AppendLE32(Out, 0);
  fixtures::AppendBE32(Out, static_cast<uint32_t>(Entries.size()));
  size_t HeaderSize = 16;
  for (const PlacedEntry& Entry : Entries)
    HeaderSize += 9 + Entry.Name.size();
  fixtures::AppendBE32(Out, static_cast<uint32_t>(HeaderSize));
  for (const PlacedEntry& Entry : Entries) {
    fixtures::AppendBE32(Out, Entry.Offset);
    fixtures::AppendBE32(Out, static_cast<uint32_t>(Entry.Data.size()));
    AppendBytes(Out, fixtures::TextBytes(Entry.Name));
    Out.push_back(0);
  }
  for (const PlacedEntry& Entry : Entries) {
    Out.resize(Entry.Offset, 0);
    AppendBytes(Out, Entry.Data);
  }
  return Out;
}

std::vector<DiskEntry> ReadDirectory(const Bytes& Archive) {
  std::vector<DiskEntry> Entries(fixtures::GetBE32(Archive, 8));
  size_t At = 16;
  for (DiskEntry& Entry : Entries) {
    Entry.Offset = fixtures::GetBE32(Archive, At);
    Entry.Size = fixtures::GetBE32(Archive, At + 4);
    for (At += 8; Archive.at(At) != 0; ++At)
      Entry.Name.push_back(static_cast<char>(Archive[At]));
    ++At;
  }
  return Entries;
}

std::vector<Binding> BindingsOnDisk(const TStreamPack& Pack) {
  std::vector<Binding> Result;
  ForEachSample(Pack, [&](const TStreamData& Sample) {
    Bytes Archive = fixtures::ReadFile(Pack.Archives(Sample.ArchiveIndex)->FileName);
    std::vector<DiskEntry> Entries = ReadDirectory(Archive);
    const DiskEntry* Entry = EntryAt(Entries, Sample.FileOffset);
    Result.push_back(Entry ? Binding{Entry->Name, Slice(Archive, Entry->Offset, Entry->Size)} : Binding{});
  });
  return Result;
}

void PrintTo(const Binding& Item, std::ostream* Out) {
  *Out << (Item.Name.empty() ? "(no entry)" : Item.Name) << " with " << Item.Data.size() << " bytes "
       << fixtures::ToHex(Bytes(Item.Data.begin(), Item.Data.begin() + std::min<size_t>(Item.Data.size(), 4)))
       << "...";
}

std::vector<std::string> Names(const std::vector<Binding>& Bindings) {
  std::vector<std::string> Result;
  for (const Binding& Item : Bindings)
    Result.push_back(Item.Name);
  return Result;
}

std::vector<Binding> Contents(const Bytes& Archive) {
  std::vector<Binding> Result;
  for (const DiskEntry& Entry : ReadDirectory(Archive))
    Result.push_back({Entry.Name, Slice(Archive, Entry.Offset, Entry.Size)});
  return Result;
}

testing::AssertionResult MemoryMatchesDisk(const TEAStream& Archive) {
  std::vector<DiskEntry> OnDisk = ReadDirectory(fixtures::ReadFile(Archive.FileName));
  if (static_cast<size_t>(Archive.FileCount()) != OnDisk.size())
    return testing::AssertionFailure() << Archive.FileName << ": " << Archive.FileCount()
                                       << " entries in memory, " << OnDisk.size() << " on disk";
  for (int32_t I = 0; I < Archive.FileCount(); ++I) {
    const TEAStreamFile& File = *Archive.Files(I);
    bool Found = false;
    for (const DiskEntry& Entry : OnDisk)
      Found = Found || (Entry.Name == File.Name && Entry.Offset == File.Offset && Entry.Size == File.Size);
    if (!Found || File.NewOffset != 0 || File.NewDirectoryPos != 0)
      return testing::AssertionFailure() << Archive.FileName << ": entry " << File.Name << " at "
                                         << File.Offset << " differs from the disk or has offsets pending";
  }
  return testing::AssertionSuccess();
}

testing::AssertionResult IsCompact(const Bytes& Archive) {
  size_t End = fixtures::GetBE32(Archive, 12);
  for (const DiskEntry& Entry : ReadDirectory(Archive)) {
    size_t Expected = (End + 63) / 64 * 64;
    if (Entry.Offset != Expected)
      return testing::AssertionFailure() << Entry.Name << " at " << Entry.Offset << ", expected " << Expected;
    End = Entry.Offset + Entry.Size;
  }
  if (Archive.size() != End || fixtures::GetLE32(Archive, 4) != End)
    return testing::AssertionFailure()
           << "archive of " << Archive.size() << " bytes ends its data at " << End;
  return testing::AssertionSuccess();
}

namespace {

const std::vector<fixtures::BigfEntry>& AlphaEntries() {
  static const std::vector<fixtures::BigfEntry> Entries = {{"a0", {}},
                                                           {"a1", fixtures::Pattern(300, 1)},
                                                           {"a2", fixtures::Pattern(1000, 2)},
                                                           {"a3", fixtures::Pattern(64, 3)}};
  return Entries;
}

const std::vector<fixtures::BigfEntry>& BetaEntries() {
  static const std::vector<fixtures::BigfEntry> Entries = {{"b1", fixtures::Pattern(500, 11)},
                                                           {"b2", fixtures::Pattern(128, 12)},
                                                           {"b3", fixtures::Pattern(2000, 13)}};
  return Entries;
}

SampleRecord In(const std::vector<fixtures::BigfEntry>& Entries, int32_t Archive, size_t Entry,
                int32_t Description) {
  return {fixtures::BigfDataOffset(Entries, Entry), Archive, Description};
}

} // namespace

PackFolder::PackFolder() {
  fixtures::WriteFile(ArchivePath(0), fixtures::MakeBigf(AlphaEntries()));
  fixtures::WriteFile(ArchivePath(1), fixtures::MakeBigf(BetaEntries()));
  const auto& A = AlphaEntries();
  const auto& B = BetaEntries();
  DefinitionRecord Definition{{"alpha.viv", "beta.viv"},
                              {{"First", "Singer one", "Album one"}, {"Second", "Singer two", "Album two"}},
                              {{In(A, 0, 1, 0), In(A, 0, 2, 1), In(B, 1, 0, -1), In(A, 0, 2, 0)},
                               {In(A, 0, 2, -1), In(B, 1, 2, 1), In(B, 1, 0, 0)},
                               {}}};
  fixtures::WriteFile(DefinitionPath(), MakeDefinition(Definition));
}

std::unique_ptr<TStreamPack> PackFolder::Open() const {
  auto Pack = std::make_unique<TStreamPack>(Dir.Path());
  Pack->LoadFromFile(DefinitionPath());
  return Pack;
}

std::vector<std::string> PackFolder::SampleNames() {
  return {"a1", "a2", "b1", "a2", "a2", "b3", "b1"};
}

} // namespace deftest
