#pragma once
// Copies of the demo game for the tests of kept originals and packs: made once per test from a master,
// and the bytes of the files a change may touch.

#include "base/Paths.h"
#include "tests/fixtures/TestFiles.h"
#include "tools/make-demo/Demo.h"

#include <filesystem>
#include <map>
#include <string>

namespace demogame {

// The game's music files, relative to the game's folder.
inline const char* const MusicFiles[] = {"audio/streams.dat",  "audio/frontend.big", "audio/ingame.big",
                                          "audio/replay.big",   "preload/faudio.viv", "preload/gaudio.viv",
                                          "preload/gaudiofa.viv"};

using TFiles = std::map<std::string, fixtures::Bytes>;

inline TFiles MusicOf(const std::string& Game) {
  TFiles Files;
  for (const char* Name : MusicFiles)
    Files[Name] = fixtures::ReadFile(JoinPath(Game, Name));
  return Files;
}

// Game (a folder) made anew as a copy of Master, which MakeDemo writes on first use.
inline void CopyGame(const std::string& Master, const std::string& Game) {
  namespace fs = std::filesystem;
  if (!fs::exists(Master))
    demo::MakeDemo(Master);
  fs::remove_all(Game);
  fs::copy(Master, Game, fs::copy_options::recursive);
}

inline std::string DefinitionOf(const std::string& Game) { return JoinPath(JoinPath(Game, "audio"), "streams.dat"); }
inline std::string PreloadOf(const std::string& Game) { return JoinPath(Game, "preload"); }

} // namespace demogame
