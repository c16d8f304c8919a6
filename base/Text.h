#pragma once
// ANSI <-> Unicode conversion at the boundary between the model (bytes in the ANSI code page) and the
// controls (wide text).

#include "platform/Text.h"

#include <string>

inline std::wstring AnsiToWide(const std::string& Text) {
  return platform::AnsiToWide(Text);
}
inline std::string WideToAnsi(const std::wstring& Text) {
  return platform::WideToAnsi(Text);
}
