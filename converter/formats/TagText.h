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
// valid UTF-8, as today's writers store them, ISO-8859-1 otherwise, as older ones did.
std::string UntypedTextToUtf8(const uint8_t* Data, size_t Size);

// Bytes up to the first NUL (or all of them).
size_t UntilNul(const uint8_t* Data, size_t Size);

} // namespace sx
