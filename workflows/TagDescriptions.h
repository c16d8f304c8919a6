#pragma once
// A song's description from its tags: Name from the title, Singer from the artist, Album from the album.
// The tags come in UTF-8; a description field holds at most 63 bytes in the ANSI code page.

#include "definitions/ImportJournal.h"
#include "definitions/uTypes.h"
#include "workflows/ConverterReports.h"

#include <string>

// One tag text made a description field.
struct TFieldText {
  std::string Ansi; // at most 63 bytes
  std::string Lost; // in UTF-8: the characters the code page lacks, each once, in order of appearance
  bool Cut = false; // the text was longer than 63 bytes and lost its end
};

// Converts Utf8 to the ANSI code page character by character (a character is lost when it does not come
// back from the code page as itself; the code page's stand-in, such as "?" or a near letter, takes its
// place) up to the last character that fits in 63 bytes; characters of the cut end are not named as
// lost. Malformed UTF-8 gives U+FFFD, which is lost.
TFieldText ToFieldText(const std::string& Utf8);

// Utf8 as the text of the controls; a malformed sequence gives U+FFFD.
std::wstring WideFromUtf8(const std::string& Utf8);
// Wide text in UTF-8; a surrogate without its pair gives U+FFFD. Utf8FromWide(WideFromUtf8(T)) is T made
// valid UTF-8.
std::string Utf8FromWide(const std::wstring& Wide);

// What describing a sample did.
struct TDescribed {
  int32_t Description = -1; // the sample's description now
  bool Added = false;       // a new description (the sample's was shared with another sample, or it had none)
  std::string Lost;         // the characters lost in any field, UTF-8, each once
  bool Cut = false;         // a field was cut to 63 characters
};

// The description that Sample alone uses: its own when no other sample of the pack uses it, else (shared,
// none, or an index outside the list) a new empty description that the sample then uses (Added true).
TStreamDescription& OwnDescription(TStreamData& Sample, bool& Added);

// The description that DescribeFromTags gives a sample, as an import notes it.
TImportDescription DescriptionFromTags(const TTagsReport& Tags);
// Gives Sample the description, as DescribeFromTags does.
void Describe(TStreamData& Sample, const TImportDescription& Description);

// Puts the tags' texts into Sample's description: in place when no other sample of the pack uses it,
// else (shared, none, or an index outside the list) into a new description that the sample then uses.
TDescribed DescribeFromTags(TStreamData& Sample, const TTagsReport& Tags);
