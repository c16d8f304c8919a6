#pragma once
// The demo game: a small ORVIK installation to try the editor on without the game.
//
//   audio/streams.dat      three archives, twelve descriptions, four streams (one empty; the replay
//                          stream shares two samples with the others)
//   audio/frontend.big     songs of the menus
//   audio/ingame.big       songs of a match
//   audio/replay.big       songs of the replays
//   preload/faudio.viv, preload/gaudio.viv, preload/gaudiofa.viv
//                          each a few entries, "streams.dat" among them RefPack-compressed
//
// Every song is two bars of synthesised music, stored as an EA-XA stream by the converter's encoder.

#include <string>

namespace demo {

// Writes the demo game below Folder, creating the folders it needs and replacing files of the same
// names. The same bytes on every run. Raises the errors of the archive, definition and converter code.
void MakeDemo(const std::string& Folder);

} // namespace demo
