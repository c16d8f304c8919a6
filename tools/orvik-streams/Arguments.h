#pragma once
// A subcommand's arguments: positional values in order, options "--name value" (given again, the last value
// counts, but for a caller that asks for every one), and flags "--name". They
// come in UTF-8; the values of the options that take a text stay so, every other value and positional word
// (file names, names that the definition and its archives hold, numbers and words of the command) is made
// the narrow file name FileNameArgument gives.

#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

// A command line that does not fit its subcommand; the message says why.
class EUsage : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class TArguments {
public:
  // Splits Arguments by the options (taking a value) and flags this subcommand knows; raises EUsage for
  // any other "--" word, an option without its value, or a count of positional values outside
  // [MinPositional, MaxPositional]. Texts: the options that take a text.
  TArguments(const std::vector<std::string>& Arguments, const std::set<std::string>& Options,
             const std::set<std::string>& Flags, size_t MinPositional, size_t MaxPositional,
             const std::set<std::string>& Texts = {});

  const std::string& Positional(size_t Index) const { return FPositional.at(Index); }
  size_t PositionalCount() const { return FPositional.size(); }
  bool Has(const std::string& Name) const { return FValues.count(Name) != 0 || FFlags.count(Name) != 0; }
  const std::string& Value(const std::string& Name) const;
  // The option's value as a whole number of at least 0; raises EUsage when it is missing or not one.
  int Index(const std::string& Name) const;
  // Every value the option was given, in order, each as Index reads it; none when it is not given.
  std::vector<int> Indexes(const std::string& Name) const;
  // The option's value as a plain decimal, with an optional minus sign, from Least to Most; none when the
  // option is not given. Raises EUsage for any other value.
  std::optional<double> Decimal(const std::string& Name, double Least, double Most) const;
  // The option's value as seconds, a plain decimal from 0 to Most; none when the option is not given. Raises
  // EUsage for any other value.
  std::optional<double> Seconds(const std::string& Name, double Most) const;

private:
  std::vector<std::string> FPositional;
  std::map<std::string, std::vector<std::string>> FValues;
  std::set<std::string> FFlags;
};
