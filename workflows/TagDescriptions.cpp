#include "workflows/TagDescriptions.h"

#include "base/Text.h"

namespace {

constexpr size_t kFieldBytes = 63;

// The characters of Utf8 as code points; a malformed sequence gives U+FFFD and is skipped byte by byte.
std::vector<uint32_t> CodePoints(const std::string& Utf8) {
  std::vector<uint32_t> Codes;
  for (size_t I = 0; I < Utf8.size();) {
    unsigned char Lead = static_cast<unsigned char>(Utf8[I]);
    size_t Length = Lead < 0x80         ? 1
                    : (Lead >> 5) == 6  ? 2
                    : (Lead >> 4) == 14 ? 3
                    : (Lead >> 3) == 30 ? 4
                                        : 0;
    uint32_t Code = Length == 1 ? Lead : Length == 2 ? Lead & 0x1F : Length == 3 ? Lead & 0x0F : Lead & 0x07;
    bool Valid = Length != 0 && I + Length <= Utf8.size();
    for (size_t K = 1; Valid && K < Length; ++K) {
      unsigned char Next = static_cast<unsigned char>(Utf8[I + K]);
      Valid = (Next & 0xC0) == 0x80;
      Code = (Code << 6) | (Next & 0x3F);
    }
    const uint32_t Smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    Valid = Valid && Code >= Smallest[Length] && Code <= 0x10FFFF && !(Code >= 0xD800 && Code < 0xE000);
    Codes.push_back(Valid ? Code : 0xFFFD);
    I += Valid ? Length : 1;
  }
  return Codes;
}

std::wstring WideOf(uint32_t Code) {
  if (sizeof(wchar_t) == 2 && Code >= 0x10000)
    return {static_cast<wchar_t>(0xD800 + ((Code - 0x10000) >> 10)),
            static_cast<wchar_t>(0xDC00 + ((Code - 0x10000) & 0x3FF))};
  return std::wstring(1, static_cast<wchar_t>(Code));
}

std::string Utf8Of(uint32_t Code) {
  std::string Out;
  if (Code < 0x80) {
    Out += static_cast<char>(Code);
  } else if (Code < 0x800) {
    Out += {static_cast<char>(0xC0 | (Code >> 6)), static_cast<char>(0x80 | (Code & 0x3F))};
  } else if (Code < 0x10000) {
    Out += {static_cast<char>(0xE0 | (Code >> 12)), static_cast<char>(0x80 | ((Code >> 6) & 0x3F)),
            static_cast<char>(0x80 | (Code & 0x3F))};
  } else {
    Out += {static_cast<char>(0xF0 | (Code >> 18)), static_cast<char>(0x80 | ((Code >> 12) & 0x3F)),
            static_cast<char>(0x80 | ((Code >> 6) & 0x3F)), static_cast<char>(0x80 | (Code & 0x3F))};
  }
  return Out;
}

// Adds each character of Characters (UTF-8) to Lost unless it is there already.
void AddLost(std::string& Lost, const std::string& Characters) {
  for (uint32_t Code : CodePoints(Characters))
    if (Lost.find(Utf8Of(Code)) == std::string::npos)
      Lost += Utf8Of(Code);
}

bool UsedByOthers(const TStreamData& Sample) {
  bool Shared = false;
  ForEachSample(*Sample.MusicStream->Pack, [&](const TStreamData& Other) {
    Shared = Shared || (&Other != &Sample && Other.DescriptionIndex == Sample.DescriptionIndex);
  });
  return Shared;
}

} // namespace

std::wstring WideFromUtf8(const std::string& Utf8) {
  std::wstring Text;
  for (uint32_t Code : CodePoints(Utf8))
    Text += WideOf(Code);
  return Text;
}

std::string Utf8FromWide(const std::wstring& Wide) {
  std::string Text;
  for (size_t I = 0; I < Wide.size(); ++I) {
    uint32_t Code = static_cast<uint32_t>(Wide[I]);
    uint32_t Low = I + 1 < Wide.size() ? static_cast<uint32_t>(Wide[I + 1]) : 0;
    if (sizeof(wchar_t) == 2 && Code >= 0xD800 && Code < 0xDC00 && Low >= 0xDC00 && Low < 0xE000) {
      Code = 0x10000 + ((Code - 0xD800) << 10) + (Low - 0xDC00);
      ++I;
    } else if ((Code >= 0xD800 && Code < 0xE000) || Code > 0x10FFFF) {
      Code = 0xFFFD;
    }
    Text += Utf8Of(Code);
  }
  return Text;
}

TFieldText ToFieldText(const std::string& Utf8) {
  TFieldText Field;
  for (uint32_t Code : CodePoints(Utf8)) {
    std::wstring Wide = WideOf(Code);
    std::string Ansi = WideToAnsi(Wide);
    bool Lost = AnsiToWide(Ansi) != Wide;
    if (Lost && Code >= 0x10000)
      Ansi = "?"; // one stand-in for the character, not one for each half of its surrogate pair
    if (Field.Ansi.size() + Ansi.size() > kFieldBytes) {
      Field.Cut = true;
      break;
    }
    if (Lost)
      AddLost(Field.Lost, Utf8Of(Code));
    Field.Ansi += Ansi;
  }
  return Field;
}

TStreamDescription& OwnDescription(TStreamData& Sample, bool& Added) {
  TStreamPack& Pack = *Sample.MusicStream->Pack;
  Added = Sample.DescriptionIndex < 0 || Sample.DescriptionIndex >= Pack.DescriptionCount() ||
          UsedByOthers(Sample);
  if (Added) {
    Pack.AddDescription("", "", "");
    Sample.DescriptionIndex = Pack.DescriptionCount() - 1;
  }
  return *Pack.Descriptions(Sample.DescriptionIndex);
}

TImportDescription DescriptionFromTags(const TTagsReport& Tags) {
  return {true, ToFieldText(Tags.Title).Ansi, ToFieldText(Tags.Artist).Ansi, ToFieldText(Tags.Album).Ansi};
}

void Describe(TStreamData& Sample, const TImportDescription& Description) {
  if (!Description.Set)
    return;
  bool Added = false;
  TStreamDescription& D = OwnDescription(Sample, Added);
  SetFieldText(D.Name, Description.Name);
  SetFieldText(D.Singer, Description.Singer);
  SetFieldText(D.Album, Description.Album);
}

TDescribed DescribeFromTags(TStreamData& Sample, const TTagsReport& Tags) {
  TDescribed Result;
  TStreamDescription& D = OwnDescription(Sample, Result.Added);
  const std::pair<const std::string*, TDescriptionField*> Fields[] = {
      {&Tags.Title, &D.Name}, {&Tags.Artist, &D.Singer}, {&Tags.Album, &D.Album}};
  for (const auto& [Text, Field] : Fields) {
    TFieldText Converted = ToFieldText(*Text);
    SetFieldText(*Field, Converted.Ansi);
    AddLost(Result.Lost, Converted.Lost);
    Result.Cut = Result.Cut || Converted.Cut;
  }
  Result.Description = Sample.DescriptionIndex;
  return Result;
}
