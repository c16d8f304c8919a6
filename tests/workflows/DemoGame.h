#pragma once
// Copies of the demo game for the tests of kept originals and packs: made once per test from a master,
// and the bytes of the files a change may touch.

#include "base/Paths.h"
#include "tests/fixtures/Bigf.h"
#include "tests/fixtures/Definition.h"
#include "tests/fixtures/TestFiles.h"
#include "tools/make-demo/Demo.h"

#include <filesystem>
#include <map>
#include <string>

namespace demogame {

using TFiles = std::map<std::string, fixtures::Bytes>;

// The bytes of every file of the game's "audio" and "preload" folders, by "audio/<name>" and
// "preload/<name>"; the definition's lock is not music.
inline TFiles MusicOf(const std::string& Game) {
  namespace fs = std::filesystem;
  TFiles Files;
  for (const char* Folder : {"audio", "preload"})
    for (const fs::directory_entry& Entry : fs::directory_iterator(fs::path(Game) / Folder))
      if (Entry.is_regular_file() && !Entry.path().string().ends_with(".~lock"))
        Files[std::string(Folder) + "/" + Entry.path().filename().string()] = fixtures::ReadFile(Entry.path().string());
  return Files;
}

// A game of a few kilobytes, for loops that repeat an operation many times: three archives of two
// entries, a definition of two streams, two of the three preload archives, each holding "streams.dat".
inline void MakeSmallGame(const std::string& Folder) {
  using namespace fixtures;
  namespace fs = std::filesystem;
  fs::create_directories(fs::path(Folder) / "audio");
  fs::create_directories(fs::path(Folder) / "preload");
  Definition Def;
  Def.Descriptions = {{"One", "Singer", "Album"}, {"Two", "Singer", "Album"}};
  Def.Streams = {{}, {}};
  for (uint32_t A = 0; A < 3; ++A) {
    std::vector<BigfEntry> Entries = {{"s" + std::to_string(A) + "a.asf", Pattern(700 + A, A)},
                                      {"s" + std::to_string(A) + "b.asf", Pattern(300, A + 10)}};
    Def.Archives.push_back("a" + std::to_string(A) + ".big");
    WriteFile(JoinPath(JoinPath(Folder, "audio"), Def.Archives.back()), MakeBigf(Entries));
    Def.Streams[A % 2].push_back({BigfDataOffset(Entries, 0), static_cast<int32_t>(A), static_cast<int32_t>(A % 2)});
    Def.Streams[1].push_back({BigfDataOffset(Entries, 1), static_cast<int32_t>(A), -1});
  }
  WriteFile(JoinPath(JoinPath(Folder, "audio"), "streams.dat"), MakeDefinition(Def));
  for (const char* Name : {"faudio.viv", "gaudio.viv"})
    WriteFile(JoinPath(JoinPath(Folder, "preload"), Name),
              MakeBigf({{"x", Pattern(50, 4)}, {"streams.dat", Pattern(30, 5)}}));
}

// Game (a folder) made anew as a copy of Master, which Make writes on first use.
inline void CopyGame(const std::string& Master, const std::string& Game, void (*Make)(const std::string&) = demo::MakeDemo) {
  namespace fs = std::filesystem;
  if (!fs::exists(Master))
    Make(Master);
  fs::remove_all(Game);
  fs::copy(Master, Game, fs::copy_options::recursive);
}

inline std::string DefinitionOf(const std::string& Game) { return JoinPath(JoinPath(Game, "audio"), "streams.dat"); }
inline std::string PreloadOf(const std::string& Game) { return JoinPath(Game, "preload"); }

} // namespace demogame
