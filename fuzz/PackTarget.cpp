// A soundtrack pack, read as the editor reads one shared by another player, then planned against a small
// game (a.big with two entries, sub/b.big with one; two streams). Whatever reads has a manifest that
// writes back to bytes that read as the same manifest; every song is an entry of the pack; and the plan
// names only streams, samples and archives the game has, and entry names a definition may give.

#include "base/Exceptions.h"
#include "base/Paths.h"
#include "fuzz/Fuzz.h"
#include "workflows/SoundtrackPack.h"

#include <filesystem>
#include <memory>

namespace {

fuzz::Bytes Archive(const std::vector<std::pair<std::string, uint32_t>>& Entries) {
  // Header, directory, then each entry's data at the next multiple of 64, filled with its index.
  fuzz::Bytes Directory;
  for (size_t I = 0; I < Entries.size(); ++I) {
    for (int K = 0; K < 8; ++K)
      Directory.push_back(0);
    Directory.insert(Directory.end(), Entries[I].first.begin(), Entries[I].first.end());
    Directory.push_back(0);
  }
  auto BE = [](fuzz::Bytes& B, size_t At, uint32_t V) {
    for (int K = 0; K < 4; ++K)
      B[At + K] = static_cast<uint8_t>(V >> (24 - 8 * K));
  };
  fuzz::Bytes File = {'B', 'I', 'G', 'F', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  File.insert(File.end(), Directory.begin(), Directory.end());
  BE(File, 8, static_cast<uint32_t>(Entries.size()));
  BE(File, 12, static_cast<uint32_t>(File.size()));
  size_t Record = 16;
  for (size_t I = 0; I < Entries.size(); ++I) {
    File.resize((File.size() + 63) / 64 * 64, 0);
    BE(File, Record, static_cast<uint32_t>(File.size()));
    BE(File, Record + 4, Entries[I].second);
    File.insert(File.end(), Entries[I].second, static_cast<uint8_t>(I + 1));
    Record += 8 + Entries[I].first.size() + 1;
  }
  for (int K = 0; K < 4; ++K)
    File[4 + K] = static_cast<uint8_t>(File.size() >> (8 * K));
  return File;
}

// The game's definition, loaded once; its folder holds the archives.
TStreamPack& Game() {
  static const std::unique_ptr<TStreamPack> Pack = [] {
    namespace fs = std::filesystem;
    const fs::path Root = fuzz::ScratchPath("~fzpack");
    fs::create_directories(Root / "sub");
    const fuzz::Bytes A = Archive({{"one.asf", 120}, {"two.asf", 64}}), B = Archive({{"three.asf", 40}});
    fuzz::WriteFile((Root / "a.big").string(), A.data(), A.size());
    fuzz::WriteFile((Root / "sub" / "b.big").string(), B.data(), B.size());
    auto Made =
        std::make_unique<TStreamPack>(Root.string() + static_cast<char>(fs::path::preferred_separator));
    Made->AddArchive("a.big");
    Made->AddArchive("sub/b.big");
    Made->AddDescription("Singer", "Album", "Name");
    TEAMusicStream* First = Made->AddStream();
    First->AddSample(Made->Archives(0)->Files(0))->DescriptionIndex = 0;
    First->AddSample(Made->Archives(0)->Files(1));
    First->AddSample(Made->Archives(0)->Files(0)); // shares its entry with the first
    Made->AddStream()->AddSample(Made->Archives(1)->Files(0));
    return Made;
  }();
  return *Pack;
}

bool ValidEntryName(const std::string& Name) {
  return !Name.empty() && IsPathInsideFolder(Name);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TStreamPack& Target = Game();
  const std::string& Path = fuzz::ScratchPath("~fzpack.orvikpack");
  fuzz::WriteFile(Path, Data, Size);
  std::unique_ptr<TSoundtrackPack> Pack;
  try {
    Pack = ReadPack(Path);
  } catch (const Exception&) {
    return 0;
  }
  const fuzz::Bytes Written = PackManifestBytes(Pack->Manifest);
  FUZZ_CHECK(PackManifestBytes(ParsePackManifest(Written)) == Written);
  FUZZ_CHECK(Pack->Songs.size() == Pack->Manifest.Songs.size());
  for (const TEAStreamFile* Song : Pack->Songs)
    FUZZ_CHECK(Song != nullptr && Song->Name != "manifest");
  TPackPlan Plan = PlanPack(Target, *Pack);
  FUZZ_CHECK(Plan.Changes.size() + Plan.Unmatched.size() == Pack->Manifest.Samples.size());
  for (const TPackChange& Change : Plan.Changes) {
    FUZZ_CHECK(Change.Stream >= 0 && Change.Stream < Target.StreamCount());
    int32_t Count = Target.Streams(Change.Stream)->SampleCount();
    FUZZ_CHECK(Change.NewSample ? Change.Position >= Count : Change.Position < Count);
    FUZZ_CHECK(Change.ArchiveIndex >= 0 && Change.ArchiveIndex < Target.ArchiveCount());
    if (Change.Song == TPackChange::Add || Change.Song == TPackChange::Bind)
      FUZZ_CHECK(ValidEntryName(Change.EntryName));
  }
  return 0;
}
