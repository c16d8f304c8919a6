#include "platform/Sound.h"

#include <windows.h>

#include <mmsystem.h>

namespace platform {

bool PlaySoundLooped(const std::string& Path) {
  return ::sndPlaySoundA(Path.c_str(), SND_ASYNC | SND_LOOP) != FALSE;
}

void StopSound() {
  ::sndPlaySoundA(nullptr, 0);
}

} // namespace platform
