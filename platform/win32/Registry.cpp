#include "platform/Registry.h"

#include <vector>
#include <windows.h>

namespace platform {
namespace {

HKEY RootKey(RegistryRoot Root) {
  return Root == RegistryRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

class TKey {
public:
  TKey(RegistryRoot Root, const std::string& Key) {
    if (::RegOpenKeyExA(RootKey(Root), Key.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &FKey) != ERROR_SUCCESS)
      FKey = nullptr;
  }
  ~TKey() {
    if (FKey != nullptr)
      ::RegCloseKey(FKey);
  }
  TKey(const TKey&) = delete;
  TKey& operator=(const TKey&) = delete;
  HKEY Handle() const { return FKey; }

private:
  HKEY FKey = nullptr;
};

} // namespace

RegistryResult ReadRegistryString(RegistryRoot Root, const std::string& Key, const std::string& Name,
                                  std::wstring& Text) {
  Text.clear();
  TKey Opened(Root, Key);
  if (Opened.Handle() == nullptr)
    return RegistryResult::NoKey;
  std::wstring WideName(Name.begin(), Name.end());
  DWORD Type = 0;
  DWORD Size = 0;
  LONG Status = ::RegQueryValueExW(Opened.Handle(), WideName.c_str(), nullptr, &Type, nullptr, &Size);
  if (Status == ERROR_FILE_NOT_FOUND)
    return RegistryResult::NoValue;
  if (Status != ERROR_SUCCESS)
    return RegistryResult::ReadFailed;
  if (Type != REG_SZ && Type != REG_EXPAND_SZ)
    return RegistryResult::WrongType;
  std::vector<wchar_t> Buffer(Size / sizeof(wchar_t) + 1, L'\0');
  DWORD Read = static_cast<DWORD>(Buffer.size() * sizeof(wchar_t));
  Status = ::RegQueryValueExW(Opened.Handle(), WideName.c_str(), nullptr, &Type,
                              reinterpret_cast<BYTE*>(Buffer.data()), &Read);
  if (Status != ERROR_SUCCESS)
    return RegistryResult::ReadFailed;
  Text = Buffer.data();
  return RegistryResult::Ok;
}

bool RegistryKeyExists(RegistryRoot Root, const std::string& Key) {
  return TKey(Root, Key).Handle() != nullptr;
}

} // namespace platform
