#include "platform/Sound.h"

namespace platform {

bool PlaySoundLooped(const std::string&) {
  return false;
}

void StopSound() {}

} // namespace platform
