#include "platform/Registry.h"

namespace platform {

RegistryResult ReadRegistryString(RegistryRoot, const std::string&, const std::string&, std::wstring& Text) {
  Text.clear();
  return RegistryResult::NoKey;
}

bool RegistryKeyExists(RegistryRoot, const std::string&) {
  return false;
}

} // namespace platform
