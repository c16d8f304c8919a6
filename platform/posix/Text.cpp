#include "platform/Text.h"

#include <cstdint>

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

std::wstring Utf8Argument(const std::wstring& Text) {
  std::wstring Bytes;
  auto Put = [&](unsigned Byte) { Bytes.push_back(static_cast<wchar_t>(Byte)); };
  for (wchar_t Char : Text) {
    auto C = static_cast<uint32_t>(Char);
    if (C > 0x10FFFF || (C >= 0xD800 && C <= 0xDFFF))
      C = 0xFFFD;
    if (C < 0x80) {
      Put(C);
    } else if (C < 0x800) {
      Put(0xC0 | C >> 6);
      Put(0x80 | (C & 0x3F));
    } else if (C < 0x10000) {
      Put(0xE0 | C >> 12);
      Put(0x80 | (C >> 6 & 0x3F));
      Put(0x80 | (C & 0x3F));
    } else {
      Put(0xF0 | C >> 18);
      Put(0x80 | (C >> 12 & 0x3F));
      Put(0x80 | (C >> 6 & 0x3F));
      Put(0x80 | (C & 0x3F));
    }
  }
  return Bytes;
}

std::wstring FileNameToWide(const std::string& Name) {
  return AnsiToWide(Name);
}

std::string WideToFileName(const std::wstring& Name) {
  return WideToAnsi(Name);
}

} // namespace platform
