#include "platform/Text.h"

#include <windows.h>

namespace platform {

std::wstring AnsiToWide(const std::string& Text) {
  if (Text.empty())
    return std::wstring();
  int Length = ::MultiByteToWideChar(CP_ACP, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0);
  std::wstring Result(static_cast<size_t>(Length), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, Text.data(), static_cast<int>(Text.size()), Result.data(), Length);
  return Result;
}

std::string WideToAnsi(const std::wstring& Text) {
  if (Text.empty())
    return std::string();
  int Length =
      ::WideCharToMultiByte(CP_ACP, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0, nullptr, nullptr);
  std::string Result(static_cast<size_t>(Length), '\0');
  ::WideCharToMultiByte(CP_ACP, 0, Text.data(), static_cast<int>(Text.size()), Result.data(), Length, nullptr,
                        nullptr);
  return Result;
}

} // namespace platform
