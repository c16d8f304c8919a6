#pragma once
// Conversion between the system's single-byte ANSI code page (the text of both file formats and of the
// model) and the Unicode text of the controls. On Windows the code page is CP_ACP; natively each byte
// maps to the code point of the same value and back, so bytes pass through unchanged.

#include <string>

namespace platform {

std::wstring AnsiToWide(const std::string& Text);
std::string WideToAnsi(const std::wstring& Text);

// The file names this layer takes and gives: in the ANSI code page, like the rest of the editor's text,
// until the process calls UseUtf8FileNames (the converter, whose command line may name any file); then
// in UTF-8. On Windows the file calls are the wide ones either way. Natively file names are bytes and
// pass through unchanged.
void UseUtf8FileNames();
std::wstring FileNameToWide(const std::string& Name);
std::string WideToFileName(const std::wstring& Name);

// Text as a child process's command line carries it so that the child reads it in UTF-8: on Windows the
// text itself (the command line is wide); natively its UTF-8 bytes, one character each, which the
// starting of a child turns back into those bytes.
std::wstring Utf8Argument(const std::wstring& Text);

} // namespace platform
