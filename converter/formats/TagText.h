#pragma once
// The text encodings tags are stored in, turned into UTF-8. Every function takes untrusted bytes and
// returns valid UTF-8: what cannot be decoded becomes U+FFFD.

#include "base/SongName.h" // Trimmed, for the tags' texts

#include <cstddef>
#include <cstdint>
#include <string>

namespace sx {

// ISO-8859-1: every byte is the code point of its value.
std::string Latin1ToUtf8(const uint8_t* Data, size_t Size);

// UTF-16 in the given byte order; unpaired surrogates become U+FFFD, an odd last byte is dropped.
std::string Utf16ToUtf8(const uint8_t* Data, size_t Size, bool BigEndian);

// UTF-8 as it is when valid; each byte of an invalid sequence (overlong forms, surrogates, code points past
// U+10FFFF, cut-off sequences) becomes U+FFFD.
std::string ValidUtf8(const uint8_t* Data, size_t Size);
inline std::string ValidUtf8(const std::string& Text) {
  return ValidUtf8(reinterpret_cast<const uint8_t*>(Text.data()), Text.size());
}

// Text of a format that names no encoding (ID3v1, RIFF INFO, AIFF text chunks): UTF-8 when the bytes are
// valid UTF-8, as some writers store them, Windows-1252 otherwise, as Windows writers and we do (its five
// unassigned bytes read as the ISO-8859-1 code points of their values).
std::string UntypedTextToUtf8(const uint8_t* Data, size_t Size);

// Valid UTF-8 in Windows-1252; a character it lacks becomes '?'.
std::string Utf8ToWindows1252(const std::string& Text);

// Valid UTF-8 in UTF-16, little-endian, without a byte-order mark.
std::string Utf8ToUtf16LE(const std::string& Text);

// Bytes up to the first NUL (or all of them).
size_t UntilNul(const uint8_t* Data, size_t Size);

} // namespace sx
