#include "converter/formats/TagText.h"

namespace sx {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Windows-1252's bytes 0x80 to 0x9F; 0 where the code page assigns none.
constexpr char16_t kWindows1252[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                       0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                       0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                       0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendUtf8(std::string& Out, char32_t C) {
  if (C < 0x80) {
    Out += static_cast<char>(C);
  } else if (C < 0x800) {
    Out += static_cast<char>(0xC0 | C >> 6);
    Out += static_cast<char>(0x80 | (C & 0x3F));
  } else if (C < 0x10000) {
    Out += static_cast<char>(0xE0 | C >> 12);
    Out += static_cast<char>(0x80 | (C >> 6 & 0x3F));
    Out += static_cast<char>(0x80 | (C & 0x3F));
  } else {
    Out += static_cast<char>(0xF0 | C >> 18);
    Out += static_cast<char>(0x80 | (C >> 12 & 0x3F));
    Out += static_cast<char>(0x80 | (C >> 6 & 0x3F));
    Out += static_cast<char>(0x80 | (C & 0x3F));
  }
}

// The length of the valid UTF-8 sequence at Data[0], or 0 when it is not one.
size_t Utf8SequenceLength(const uint8_t* Data, size_t Size) {
  const uint8_t Lead = Data[0];
  if (Lead < 0x80)
    return 1;
  const size_t Length = Lead >= 0xC2 && Lead <= 0xDF   ? 2
                        : Lead >= 0xE0 && Lead <= 0xEF ? 3
                        : Lead >= 0xF0 && Lead <= 0xF4 ? 4
                                                       : 0;
  if (Length == 0 || Length > Size)
    return 0;
  for (size_t I = 1; I < Length; ++I)
    if ((Data[I] & 0xC0) != 0x80)
      return 0;
  // The second byte's range rules out overlong forms, surrogates and code points past U+10FFFF.
  const uint8_t Second = Data[1];
  if ((Lead == 0xE0 && Second < 0xA0) || (Lead == 0xED && Second > 0x9F) || (Lead == 0xF0 && Second < 0x90) ||
      (Lead == 0xF4 && Second > 0x8F))
    return 0;
  return Length;
}

// The code point of the valid UTF-8 sequence at Text[At], which At then passes.
char32_t NextCodePoint(const std::string& Text, size_t& At) {
  const auto Byte = [&](size_t I) { return static_cast<char32_t>(static_cast<unsigned char>(Text[I])); };
  const char32_t Lead = Byte(At);
  const size_t Length = Lead < 0x80 ? 1 : Lead < 0xE0 ? 2 : Lead < 0xF0 ? 3 : 4;
  char32_t C = Length == 1 ? Lead : Lead & (0x7F >> Length);
  for (size_t I = 1; I < Length && At + I < Text.size(); ++I)
    C = C << 6 | (Byte(At + I) & 0x3F);
  At += Length;
  return C;
}

} // namespace

std::string Latin1ToUtf8(const uint8_t* Data, size_t Size) {
  std::string Out;
  for (size_t I = 0; I < Size; ++I)
    AppendUtf8(Out, Data[I]);
  return Out;
}

std::string Utf16ToUtf8(const uint8_t* Data, size_t Size, bool BigEndian) {
  auto Unit = [&](size_t I) -> char32_t {
    return BigEndian ? char32_t(Data[2 * I] << 8 | Data[2 * I + 1])
                     : char32_t(Data[2 * I + 1] << 8 | Data[2 * I]);
  };
  const size_t Units = Size / 2;
  std::string Out;
  for (size_t I = 0; I < Units; ++I) {
    const char32_t C = Unit(I);
    if (C >= 0xD800 && C <= 0xDBFF && I + 1 < Units && Unit(I + 1) >= 0xDC00 && Unit(I + 1) <= 0xDFFF) {
      AppendUtf8(Out, 0x10000 + ((C - 0xD800) << 10) + (Unit(I + 1) - 0xDC00));
      ++I;
    } else {
      AppendUtf8(Out, C >= 0xD800 && C <= 0xDFFF ? kReplacement : C);
    }
  }
  return Out;
}

std::string ValidUtf8(const uint8_t* Data, size_t Size) {
  std::string Out;
  for (size_t I = 0; I < Size;) {
    const size_t Length = Utf8SequenceLength(Data + I, Size - I);
    if (Length == 0) {
      AppendUtf8(Out, kReplacement);
      ++I;
    } else {
      Out.append(reinterpret_cast<const char*>(Data + I), Length);
      I += Length;
    }
  }
  return Out;
}

std::string UntypedTextToUtf8(const uint8_t* Data, size_t Size) {
  for (size_t I = 0; I < Size;) {
    const size_t Length = Utf8SequenceLength(Data + I, Size - I);
    if (Length == 0) {
      std::string Out;
      for (size_t J = 0; J < Size; ++J) {
        const uint8_t B = Data[J];
        AppendUtf8(Out, B >= 0x80 && B < 0xA0 && kWindows1252[B - 0x80] ? kWindows1252[B - 0x80] : B);
      }
      return Out;
    }
    I += Length;
  }
  return std::string(reinterpret_cast<const char*>(Data), Size);
}

std::string Utf8ToWindows1252(const std::string& Text) {
  std::string Out;
  for (size_t At = 0; At < Text.size();) {
    const char32_t C = NextCodePoint(Text, At);
    char Byte = '?';
    if (C < 0x80 || (C >= 0xA0 && C <= 0xFF))
      Byte = static_cast<char>(C);
    for (unsigned I = 0; I < 32; ++I)
      if (C >= 0x100 && kWindows1252[I] == C)
        Byte = static_cast<char>(0x80 + I);
    Out += Byte;
  }
  return Out;
}

std::string Utf8ToUtf16LE(const std::string& Text) {
  std::string Out;
  const auto Put = [&](char32_t Unit) {
    Out += static_cast<char>(Unit & 0xFF);
    Out += static_cast<char>(Unit >> 8);
  };
  for (size_t At = 0; At < Text.size();) {
    const char32_t C = NextCodePoint(Text, At);
    if (C >= 0x10000) {
      Put(0xD800 + ((C - 0x10000) >> 10));
      Put(0xDC00 + ((C - 0x10000) & 0x3FF));
    } else {
      Put(C);
    }
  }
  return Out;
}

size_t UntilNul(const uint8_t* Data, size_t Size) {
  size_t N = 0;
  while (N < Size && Data[N] != 0)
    ++N;
  return N;
}

} // namespace sx
