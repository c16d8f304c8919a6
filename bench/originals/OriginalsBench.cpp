// Keeping and restoring the original music at the speed of the disk.
//
// Usage: orvik_originals_bench <scratch folder>
// Generates a game of 300 MB below the folder (audio/streams.dat naming three archives of 98 MB, and the
// three preload archives of 2 MB), then measures side by side: cp -r of the game's two folders, the same
// followed by sync, the keep of the original music (every copy flushed, through the journal), and the
// restore after every file was changed. Each keep and restore is checked byte for byte against the
// generated files, outside the timing; a wrong result fails the benchmark.
#include "base/Paths.h"
#include "definitions/DefinitionSession.h"
#include "workflows/KeptOriginals.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
constexpr size_t kMB = 1 << 20;

// Count bytes that no file system can compress or share, the same for the same Seed.
void WriteNoise(const fs::path& Path, size_t Count, uint64_t Seed) {
  std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
  std::vector<uint64_t> Block(kMB / 8);
  for (size_t Done = 0; Done < Count; Done += kMB) {
    for (uint64_t& Word : Block) {
      Seed ^= Seed << 13; // xorshift64
      Seed ^= Seed >> 7;
      Seed ^= Seed << 17;
      Word = Seed;
    }
    Out.write(reinterpret_cast<const char*>(Block.data()),
              static_cast<std::streamsize>(std::min(kMB, Count - Done)));
  }
}

// A definition naming the archives, with no descriptions and no streams: the keep copies what it names.
void WriteDefinition(const fs::path& Path, const std::vector<std::string>& Archives) {
  std::vector<char> Bytes(12, 0);
  Bytes[0] = static_cast<char>(Archives.size());
  for (const std::string& Name : Archives) {
    std::vector<char> Field(32, 0);
    std::copy(Name.begin(), Name.end(), Field.begin());
    Bytes.insert(Bytes.end(), Field.begin(), Field.end());
  }
  std::ofstream(Path, std::ios::binary).write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
}

bool SameFiles(const fs::path& A, const fs::path& B) {
  std::ifstream X(A, std::ios::binary), Y(B, std::ios::binary);
  std::vector<char> P(kMB), Q(kMB);
  while (X && Y) {
    X.read(P.data(), static_cast<std::streamsize>(P.size()));
    Y.read(Q.data(), static_cast<std::streamsize>(Q.size()));
    if (X.gcount() != Y.gcount() || !std::equal(P.begin(), P.begin() + X.gcount(), Q.begin()))
      return false;
  }
  return !X && !Y;
}

template <class F> double Seconds(F&& Run) {
  auto Start = std::chrono::steady_clock::now();
  Run();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
}

void Require(bool Holds, const char* What) {
  if (!Holds) {
    std::fprintf(stderr, "FAILED: %s\n", What);
    std::exit(1);
  }
}

int Shell(const std::string& Command) {
  return std::system(Command.c_str());
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: orvik_originals_bench <scratch folder>\n");
    return 2;
  }
  const fs::path Root = argv[1], Game = Root / "game", Reference = Root / "reference";
  const std::vector<std::string> Archives = {"frontend.big", "ingame.big", "replay.big"};
  const std::vector<std::string> Preload = {"faudio.viv", "gaudio.viv", "gaudiofa.viv"};
  fs::create_directories(Game / "audio");
  fs::create_directories(Game / "preload");
  for (size_t I = 0; I < Archives.size(); ++I)
    WriteNoise(Game / "audio" / Archives[I], 98 * kMB, 0x9E3779B97F4A7C15ull + I);
  for (size_t I = 0; I < Preload.size(); ++I)
    WriteNoise(Game / "preload" / Preload[I], 2 * kMB, 0xC2B2AE3D27D4EB4Full + I);
  WriteDefinition(Game / "audio" / "streams.dat", Archives);
  fs::copy(Game, Reference, fs::copy_options::recursive);
  std::vector<fs::path> Files = {"audio/streams.dat"};
  for (const std::string& Name : Archives)
    Files.push_back(fs::path("audio") / Name);
  for (const std::string& Name : Preload)
    Files.push_back(fs::path("preload") / Name);
  uintmax_t Total = 0;
  for (const fs::path& File : Files)
    Total += fs::file_size(Game / File);
  std::printf("game: %zu files, %.1f MB (each file's bytes are new to the page cache only once; the copies\n"
              "below read them from memory, as the editor would right after opening the game)\n\n",
              Files.size(), double(Total) / kMB);

  const std::string Quoted = "\"" + Game.string() + "\"", Copy = "\"" + (Root / "copy").string() + "\"";
  Shell("sync");
  auto CopyCommand = [&](const std::string& Into) {
    return "mkdir -p " + Into + " && cp -r " + Quoted + "/audio " + Quoted + "/preload " + Into;
  };
  double Cp = Seconds([&] { Require(Shell(CopyCommand(Copy + "-a")) == 0, "cp -r"); });
  Shell("sync");
  double CpSync = Seconds([&] { Require(Shell(CopyCommand(Copy + "-b") + " && sync") == 0, "cp -r, sync"); });
  fs::remove_all(Root / "copy-a");
  fs::remove_all(Root / "copy-b");
  Shell("sync");

  const std::string Definition = (Game / "audio" / "streams.dat").string();
  TKeptOriginals Kept(Definition, (Game / "preload").string());
  double Keep = Seconds([&] {
    TDefinitionSession Session(Definition);
    Session.Open();
    Require(Kept.Keep(Session.Journal), "keep");
    Session.Close();
  });
  Require(Kept.State() == TKeptState::Kept, "the keep is complete");
  for (const TKeptFile& File : Kept.Kept())
    Require(SameFiles(Kept.KeptPath(File),
                      Reference / (File.Role == TKeptFile::Preload ? "preload" : "audio") / File.Name),
            "every kept file holds the original bytes");

  for (const fs::path& File : Files)
    WriteNoise(Game / File, fs::file_size(Game / File) / 2, 77);
  Shell("sync");
  double Restore = Seconds([&] {
    TDefinitionSession Session(Definition);
    Session.Open();
    Kept.Restore(Session.Journal);
    Session.Close();
  });
  for (const fs::path& File : Files)
    Require(SameFiles(Game / File, Reference / File), "every restored file holds the original bytes");

  auto Line = [&](const char* What, double S) {
    std::printf("%-44s %7.2f s  %7.1f MB/s  %5.2f x cp -r\n", What, S, double(Total) / kMB / S, S / Cp);
  };
  Line("cp -r (written back by the kernel later)", Cp);
  Line("cp -r, then sync", CpSync);
  Line("keep (copies flushed, journal, manifest)", Keep);
  Line("restore (copies flushed, journal, renames)", Restore);
  return 0;
}
