#pragma once
// Conversion between the system's single-byte ANSI code page (the text of both file formats and of the
// model) and the Unicode text of the controls. On Windows the code page is CP_ACP; natively each byte
// maps to the code point of the same value and back, so bytes pass through unchanged.

#include <string>

namespace platform {

std::wstring AnsiToWide(const std::string& Text);
std::string WideToAnsi(const std::wstring& Text);

} // namespace platform
