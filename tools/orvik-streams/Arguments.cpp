#include "tools/orvik-streams/Arguments.h"

#include "tools/orvik-streams/Utf8.h"

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
        FValues[Name] = Texts.count(Name) != 0 ? Arguments[++I] : FileNameArgument(Arguments[++I]);
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
  return Found->second;
}

int TArguments::Index(const std::string& Name) const {
  const std::string& Text = Value(Name);
  if (Text.empty() || Text.size() > 9 || Text.find_first_not_of("0123456789") != std::string::npos)
    throw EUsage("option --" + Name + " takes a number, not \"" + Text + "\"");
  return std::stoi(Text);
}

std::optional<double> TArguments::Seconds(const std::string& Name, double Most) const {
  if (!Has(Name))
    return std::nullopt;
  const std::string& Text = Value(Name);
  // strtod alone would take hexadecimal, exponents, "inf" and "nan" too.
  const bool Plain =
      !Text.empty() && Text.size() <= 20 && Text.find_first_not_of(".0123456789") == std::string::npos;
  char* End = nullptr;
  const double Seconds = Plain ? std::strtod(Text.c_str(), &End) : -1;
  if (!Plain || End != Text.c_str() + Text.size() || Seconds > Most)
    throw EUsage("option --" + Name + " takes seconds from 0 to " + std::to_string(int(Most)) + ", not \"" +
                 Text + "\"");
  return Seconds;
}
