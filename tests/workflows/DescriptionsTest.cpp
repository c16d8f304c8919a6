// Descriptions from tags: which description a sample's tags go to, and what the code page and the field
// length keep of them.

#include "base/Text.h"
#include "workflows/TagDescriptions.h"

#include <gtest/gtest.h>

namespace {

// The text as the ANSI code page has it, when it has the character (natively: Latin-1 code points).
bool CodePageHas(const std::wstring& Char) {
  return AnsiToWide(WideToAnsi(Char)) == Char;
}

} // namespace

TEST(DescriptionsTest, FieldsAreCutTo63CharactersAndLostCharactersNamed) {
  struct TCase {
    std::string Utf8;
    size_t Bytes;
    std::string Lost;
    bool Cut;
  };
  const std::string Long(70, 'x');
  const TCase Cases[] = {
      {"Plain Title", 11, "", false},
      {"", 0, "", false},
      {Long, 63, "", true},
      {std::string(63, 'y'), 63, "", false},
      {"\xE6\x97\xA5\xE6\x9C\xAC\xE6\x97\xA5", 3, "\xE6\x97\xA5\xE6\x9C\xAC",
       false},                                                           // 日本日: two lost, once each
      {"A\xF0\x9F\x8E\xB5", 2, "\xF0\x9F\x8E\xB5", false},               // a character beyond 16 bits
      {"bad \xC3 \xFF end", 11, "\xEF\xBF\xBD", false},                  // malformed: U+FFFD
      {"\xC0\xAF", 2, "\xEF\xBF\xBD", false},                            // an overlong slash
      {std::string(62, 'z') + "\xE2\x82\xAC\xE2\x82\xAC", 63, "", true}, // euro signs at the edge
      {std::string(63, 'w') + "\xE2\x98\x83", 63, "", true}, // a snowman cut off is not named as lost
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Utf8);
    TFieldText Field = ToFieldText(Case.Utf8);
    EXPECT_EQ(Field.Ansi.size(), Case.Bytes);
    EXPECT_EQ(Field.Cut, Case.Cut);
    if (Case.Utf8.find("\xE2\x82\xAC") != std::string::npos && !CodePageHas(L"\u20AC")) {
      EXPECT_EQ(Field.Lost, "\xE2\x82\xAC");
      continue;
    }
    EXPECT_EQ(Field.Lost, Case.Lost);
  }
  // A character the code page has comes through as the code page's byte.
  TFieldText Accent = ToFieldText("Caf\xC3\xA9");
  EXPECT_EQ(AnsiToWide(Accent.Ansi), L"Caf\u00E9");
  EXPECT_TRUE(Accent.Lost.empty());
}

TEST(DescriptionsTest, WideTextComesOutAsValidUtf8) {
  const std::pair<std::wstring, std::string> Cases[] = {
      {L"Caf\u00E9 \u65E5", "Caf\xC3\xA9 \xE6\x97\xA5"},
      {L"\U0001F3B5!", "\xF0\x9F\x8E\xB5!"}, // a surrogate pair on Windows
      {std::wstring(1, wchar_t(0xDC00)) + L"x" + wchar_t(0xD800), "\xEF\xBF\xBDx\xEF\xBF\xBD"}, // unpaired
  };
  for (const auto& [Wide, Utf8] : Cases)
    EXPECT_EQ(Utf8FromWide(Wide), Utf8);
  // Malformed UTF-8 made valid: each stray byte becomes U+FFFD.
  EXPECT_EQ(Utf8FromWide(WideFromUtf8("a\xE9\xC3")), "a\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(DescriptionsTest, ASoleDescriptionIsUpdatedASharedOrMissingOneIsAdded) {
  TStreamPack Pack("");
  Pack.AddDescription("Old Singer", "Old Album", "Sole"); // 0: sample 0 alone
  Pack.AddDescription("Shared", "Shared", "Shared");      // 1: samples 1 and 2
  TEAMusicStream& Stream = *Pack.AddStream();
  const int32_t Before[] = {0, 1, 1, -1, 7}; // 3: none, 4: outside the list
  for (int32_t Index : Before)
    Stream.AddSample(nullptr)->DescriptionIndex = Index;
  TTagsReport Tags;
  Tags.Title = std::string(80, 't');
  Tags.Artist = "K\xC3\xB6nig \xE2\x98\x83"; // König ☃
  Tags.Album = "";

  struct TCase {
    int32_t Sample, Description;
    bool Added;
  };
  const TCase Cases[] = {{0, 0, false}, {1, 2, true}, {2, 1, false}, {3, 3, true}, {4, 4, true}};
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Sample);
    TDescribed Done = DescribeFromTags(*Stream.Samples(Case.Sample), Tags);
    EXPECT_EQ(Done.Description, Case.Description);
    EXPECT_EQ(Stream.Samples(Case.Sample)->DescriptionIndex, Case.Description);
    EXPECT_EQ(Done.Added, Case.Added);
    EXPECT_TRUE(Done.Cut);
    EXPECT_EQ(Done.Lost, CodePageHas(L"\u00F6") ? "\xE2\x98\x83" : "\xC3\xB6\xE2\x98\x83");
    const TStreamDescription& D = *Pack.Descriptions(Case.Description);
    EXPECT_EQ(FieldText(D.Name), std::string(63, 't'));
    EXPECT_EQ(FieldText(D.Singer).substr(0, 6), WideToAnsi(L"K\u00F6nig "));
    EXPECT_EQ(FieldText(D.Album), "");
  }
  // The shared description's other user, once alone, had it updated in place; nothing else changed.
  EXPECT_EQ(Pack.DescriptionCount(), 5);
}
