#pragma once
// The system's sound service: one sound at a time, played asynchronously.

#include <string>

namespace platform {

// Plays the Wave file at Path in a loop until StopSound (Windows: sndPlaySoundA with SND_ASYNC | SND_LOOP).
// Natively there is no sound service and nothing plays. Returns false when nothing plays.
bool PlaySoundLooped(const std::string& Path);

// Stops any sound this program plays.
void StopSound();

} // namespace platform
