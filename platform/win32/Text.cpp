#include "platform/Text.h"

#include <windows.h>

namespace platform {
namespace {

UINT FileNameCodePage = CP_ACP;

std::wstring ToWide(UINT CodePage, const std::string& Text) {
  if (Text.empty())
    return std::wstring();
  int Length = ::MultiByteToWideChar(CodePage, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0);
  std::wstring Result(static_cast<size_t>(Length), L'\0');
  ::MultiByteToWideChar(CodePage, 0, Text.data(), static_cast<int>(Text.size()), Result.data(), Length);
  return Result;
}

std::string FromWide(UINT CodePage, const std::wstring& Text) {
  if (Text.empty())
    return std::string();
  int Length = ::WideCharToMultiByte(CodePage, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0,
                                     nullptr, nullptr);
  std::string Result(static_cast<size_t>(Length), '\0');
  ::WideCharToMultiByte(CodePage, 0, Text.data(), static_cast<int>(Text.size()), Result.data(), Length,
                        nullptr, nullptr);
  return Result;
}

} // namespace

std::wstring AnsiToWide(const std::string& Text) {
  return ToWide(CP_ACP, Text);
}

std::string WideToAnsi(const std::wstring& Text) {
  return FromWide(CP_ACP, Text);
}

void UseUtf8FileNames() {
  FileNameCodePage = CP_UTF8;
}

std::wstring Utf8Argument(const std::wstring& Text) {
  return Text;
}

std::wstring FileNameToWide(const std::string& Name) {
  return ToWide(FileNameCodePage, Name);
}

std::string WideToFileName(const std::wstring& Name) {
  return FromWide(FileNameCodePage, Name);
}

} // namespace platform
