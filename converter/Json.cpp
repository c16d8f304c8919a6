#include "converter/Json.h"

#include "converter/formats/TagText.h"

#include <cmath>
#include <cstdio>

namespace sx {

std::string JsonString(const std::string& Text) {
  std::string Out = "\"";
  for (char Ch : ValidUtf8(Text)) {
    const unsigned char C = static_cast<unsigned char>(Ch);
    if (C == '"' || C == '\\') {
      Out += '\\';
      Out += Ch;
    } else if (C < 0x20) {
      char Escape[8];
      std::snprintf(Escape, sizeof Escape, "\\u%04x", C);
      Out += Escape;
    } else {
      Out += Ch;
    }
  }
  return Out + "\"";
}

std::string JsonNumber(std::optional<double> Value, int Decimals) {
  if (!Value || !std::isfinite(*Value))
    return "null";
  char Text[64];
  std::snprintf(Text, sizeof Text, "%.*f", Decimals, *Value);
  // "-0.00" reads as a number but looks like a sign error.
  std::string Out = Text;
  if (Out.find_first_not_of("-0.") == std::string::npos && Out[0] == '-')
    Out.erase(0, 1);
  return Out;
}

} // namespace sx
