#pragma once
// Reading a string value of the registry. Natively there is no registry: every key reads as missing.

#include <string>

namespace platform {

enum class RegistryRoot { LocalMachine, CurrentUser };

enum class RegistryResult {
  Ok,
  NoKey,      // the key does not exist or cannot be opened for reading
  NoValue,    // the key has no value of that name
  WrongType,  // the value is not a string (REG_SZ or REG_EXPAND_SZ)
  ReadFailed, // the value exists but its data could not be read
};

// Opens Key under Root for reading only (never creating it) and reads the string value Name, as stored:
// not expanded, cut at its first NUL character. Keys are read in the registry's 32-bit view, where the
// game's 32-bit installer writes them, in the 64-bit build as well as in the 32-bit one.
RegistryResult ReadRegistryString(RegistryRoot Root, const std::string& Key, const std::string& Name,
                                  std::wstring& Text);

// Whether Key under Root can be opened for reading (in the 32-bit view, as above).
bool RegistryKeyExists(RegistryRoot Root, const std::string& Key);

} // namespace platform
