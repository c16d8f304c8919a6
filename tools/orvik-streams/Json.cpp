#include "tools/orvik-streams/Json.h"

#include "workflows/TagDescriptions.h"

#include <cstdio>

void TJson::Separate() {
  if (FAfterKey) {
    FAfterKey = false;
    return;
  }
  if (!FFirst.empty()) {
    if (!FFirst.back())
      FOut << ',';
    FFirst.back() = false;
  }
}

TJson& TJson::Open(char Bracket) {
  Separate();
  FOut << Bracket;
  FFirst.push_back(true);
  return *this;
}

TJson& TJson::Close(char Bracket) {
  FFirst.pop_back();
  FOut << Bracket;
  return *this;
}

TJson& TJson::Key(const std::string& Name) {
  String(Name);
  FOut << ':';
  FAfterKey = true;
  return *this;
}

TJson& TJson::String(const std::string& Text) {
  Separate();
  FOut << '"';
  for (char Char : Utf8FromWide(WideFromUtf8(Text))) {
    if (Char == '"' || Char == '\\') {
      FOut << '\\' << Char;
    } else if (static_cast<unsigned char>(Char) < 0x20) {
      char Escape[8];
      std::snprintf(Escape, sizeof Escape, "\\u%04x", static_cast<unsigned>(Char));
      FOut << Escape;
    } else {
      FOut << Char;
    }
  }
  FOut << '"';
  return *this;
}

TJson& TJson::Number(int64_t Value) {
  Separate();
  FOut << Value;
  return *this;
}

TJson& TJson::Decimal(const std::optional<double>& Value) {
  if (!Value)
    return Null();
  Separate();
  char Text[32];
  std::snprintf(Text, sizeof Text, "%.2f", *Value);
  FOut << Text;
  return *this;
}

TJson& TJson::Boolean(bool Value) {
  Separate();
  FOut << (Value ? "true" : "false");
  return *this;
}

TJson& TJson::Null() {
  Separate();
  FOut << "null";
  return *this;
}
