#include "platform/Text.h"

namespace platform {

std::wstring AnsiToWide(const std::string& Text) {
  std::wstring Result;
  Result.reserve(Text.size());
  for (unsigned char Byte : Text)
    Result.push_back(static_cast<wchar_t>(Byte));
  return Result;
}

std::string WideToAnsi(const std::wstring& Text) {
  std::string Result;
  Result.reserve(Text.size());
  for (wchar_t Char : Text)
    Result.push_back(static_cast<unsigned>(Char) <= 0xFF ? static_cast<char>(Char) : '?');
  return Result;
}

void UseUtf8FileNames() {}

std::wstring FileNameToWide(const std::string& Name) {
  return AnsiToWide(Name);
}

std::string WideToFileName(const std::wstring& Name) {
  return WideToAnsi(Name);
}

} // namespace platform
