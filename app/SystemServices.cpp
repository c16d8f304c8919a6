#include "app/SystemServices.h"
#include "platform/Process.h"
#include "platform/Sound.h"

void TSystemSound::PlayLooped(const std::string& Path) {
  platform::PlaySoundLooped(Path);
}

void TSystemSound::Stop() {
  platform::StopSound();
}

bool TSystemConverterRunner::ExecuteAndWait(const std::wstring& Program, const std::wstring& Parameters,
                                            const std::wstring& WorkingFolder, uint16_t ShowMode,
                                            std::string& ErrorOutput) {
  return platform::ExecuteAndWait(Program, Parameters, WorkingFolder, ShowMode, {}, &ErrorOutput);
}
