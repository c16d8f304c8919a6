#include "tools/orvik-streams/Arguments.h"

#include "tools/orvik-streams/Utf8.h"

#include <cstdio>
#include <cstdlib>

TArguments::TArguments(const std::vector<std::string>& Arguments, const std::set<std::string>& Options,
                       const std::set<std::string>& Flags, size_t MinPositional, size_t MaxPositional,
                       const std::set<std::string>& Texts) {
  for (size_t I = 0; I < Arguments.size(); ++I) {
    const std::string& Word = Arguments[I];
    if (Word.size() > 2 && Word.compare(0, 2, "--") == 0) {
      std::string Name = Word.substr(2);
      if (Flags.count(Name) != 0)
        FFlags.insert(Name);
      else if (Options.count(Name) == 0)
        throw EUsage("unknown option " + Word);
      else if (I + 1 == Arguments.size())
        throw EUsage("option " + Word + " needs a value");
      else
        FValues[Name].push_back(Texts.count(Name) != 0 ? Arguments[++I] : FileNameArgument(Arguments[++I]));
    } else {
      FPositional.push_back(FileNameArgument(Word));
    }
  }
  if (FPositional.size() < MinPositional)
    throw EUsage("too few arguments");
  if (FPositional.size() > MaxPositional)
    throw EUsage("too many arguments");
}

const std::string& TArguments::Value(const std::string& Name) const {
  auto Found = FValues.find(Name);
  if (Found == FValues.end())
    throw EUsage("option --" + Name + " is missing");
  return Found->second.back();
}

namespace {

int IndexIn(const std::string& Name, const std::string& Text) {
  if (Text.empty() || Text.size() > 9 || Text.find_first_not_of("0123456789") != std::string::npos)
    throw EUsage("option --" + Name + " takes a number, not \"" + Text + "\"");
  return std::stoi(Text);
}

// Text as a plain decimal: digits and one point, no sign, exponent, "inf" or "nan" (which strtod takes).
std::optional<double> PlainDecimal(const std::string& Text) {
  if (Text.empty() || Text.size() > 20 || Text.find_first_not_of(".0123456789") != std::string::npos)
    return std::nullopt;
  char* End = nullptr;
  const double Value = std::strtod(Text.c_str(), &End);
  if (End != Text.c_str() + Text.size())
    return std::nullopt;
  return Value;
}

} // namespace

int TArguments::Index(const std::string& Name) const {
  return IndexIn(Name, Value(Name));
}

std::vector<int> TArguments::Indexes(const std::string& Name) const {
  std::vector<int> All;
  auto Found = FValues.find(Name);
  if (Found != FValues.end())
    for (const std::string& Text : Found->second)
      All.push_back(IndexIn(Name, Text));
  return All;
}

std::optional<double> TArguments::Decimal(const std::string& Name, double Least, double Most) const {
  if (!Has(Name))
    return std::nullopt;
  const std::string& Text = Value(Name);
  const bool Negative = !Text.empty() && Text[0] == '-';
  std::optional<double> Number = PlainDecimal(Negative ? Text.substr(1) : Text);
  if (Number && Negative)
    Number = -*Number;
  if (!Number || *Number < Least || *Number > Most) {
    char Range[64];
    std::snprintf(Range, sizeof Range, "%g to %g", Least, Most);
    throw EUsage("option --" + Name + " takes a number from " + Range + ", not \"" + Text + "\"");
  }
  return Number;
}

std::optional<double> TArguments::Seconds(const std::string& Name, double Most) const {
  if (!Has(Name))
    return std::nullopt;
  const std::string& Text = Value(Name);
  const std::optional<double> Seconds = PlainDecimal(Text);
  if (!Seconds || *Seconds > Most)
    throw EUsage("option --" + Name + " takes seconds from 0 to " + std::to_string(int(Most)) + ", not \"" +
                 Text + "\"");
  return Seconds;
}
