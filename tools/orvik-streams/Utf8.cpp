#include "tools/orvik-streams/Utf8.h"

#include "base/Text.h"
#include "platform/FileSystem.h"
#include "tools/orvik-streams/Arguments.h"
#include "workflows/TagDescriptions.h"

std::string DescriptionArgument(const std::string& Utf8) {
  TFieldText Field = ToFieldText(Utf8);
  if (!Field.Lost.empty())
    throw EUsage("a description text can hold only characters of the definition's code page, not " +
                 Field.Lost);
  if (Field.Cut)
    throw EUsage("a description text has at most 63 characters: \"" + Utf8 + "\"");
  return Field.Ansi;
}

std::string FileNameArgument(const std::string& Utf8) {
#ifdef _WIN32
  return platform::NarrowFileName(WideFromUtf8(Utf8));
#else
  return Utf8;
#endif
}

std::string Utf8FromCodePage(const std::string& Text) {
  return Utf8FromWide(AnsiToWide(Text));
}

std::string Utf8FromNarrow(const std::string& Text) {
#ifdef _WIN32
  return Utf8FromCodePage(Text);
#else
  return Text;
#endif
}
