#pragma once
// The pieces of the converter's one-line JSON reports.

#include <optional>
#include <string>

namespace sx {

// Text as a JSON string, quoted: quotes, backslashes and control characters escaped, invalid UTF-8
// replaced by U+FFFD, every other character as it is (UTF-8).
std::string JsonString(const std::string& Text);

// A number with Decimals places, or null when empty.
std::string JsonNumber(std::optional<double> Value, int Decimals = 2);

} // namespace sx
