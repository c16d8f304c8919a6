#pragma once
// The registry service over the OS layer's registry reader.

#include "app/Services.h"

class TSystemRegistry : public IRegistry {
public:
  bool OpenKeyReadOnly(TRootKey Root, const std::string& Key) override;
  std::wstring ReadString(const std::string& Name) override;
  void CloseKey() override;

private:
  bool FOpen = false;
  TRootKey FRoot = TRootKey::LocalMachine;
  std::string FKey;
};
