#pragma once
// The sound and converter services over the OS layer.

#include "app/Services.h"

class TSystemSound : public ISoundPlayer {
public:
  void PlayLooped(const std::string& Path) override;
  void Stop() override;
};

class TSystemConverterRunner : public IConverterRunner {
public:
  bool ExecuteAndWait(const std::wstring& Program, const std::wstring& Parameters,
                      const std::wstring& WorkingFolder, uint16_t ShowMode,
                      std::string& ErrorOutput) override;
};
