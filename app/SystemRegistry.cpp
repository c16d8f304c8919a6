#include "app/SystemRegistry.h"
#include "platform/Registry.h"

namespace {

platform::RegistryRoot RootOf(TRootKey Root) {
  return Root == TRootKey::LocalMachine ? platform::RegistryRoot::LocalMachine
                                        : platform::RegistryRoot::CurrentUser;
}

} // namespace

bool TSystemRegistry::OpenKeyReadOnly(TRootKey Root, const std::string& Key) {
  FOpen = platform::RegistryKeyExists(RootOf(Root), Key);
  FRoot = Root;
  FKey = Key;
  return FOpen;
}

std::wstring TSystemRegistry::ReadString(const std::string& Name) {
  std::wstring Text;
  if (!FOpen)
    return Text;
  switch (platform::ReadRegistryString(RootOf(FRoot), FKey, Name, Text)) {
  case platform::RegistryResult::WrongType:
    throw ERegistryException::InvalidDataType(Name);
  case platform::RegistryResult::ReadFailed:
    throw ERegistryException::FailedToGetData(Name);
  default:
    return Text;
  }
}

void TSystemRegistry::CloseKey() {
  FOpen = false;
}
