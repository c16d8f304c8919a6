#pragma once
// A small JSON writer for the tool's --json output: objects, arrays, strings, numbers, booleans and null,
// written as they come. Text is UTF-8: it is written so, with quotes, backslashes and control characters
// escaped, and each byte of a malformed sequence as U+FFFD.

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

class TJson {
public:
  explicit TJson(std::ostream& Out) : FOut(Out) {}
  TJson& BeginObject() { return Open('{'); }
  TJson& EndObject() { return Close('}'); }
  TJson& BeginArray() { return Open('['); }
  TJson& EndArray() { return Close(']'); }
  TJson& Key(const std::string& Name);
  TJson& String(const std::string& Text);
  TJson& Number(int64_t Value);
  // A number with two decimals, or null when there is none.
  TJson& Decimal(const std::optional<double>& Value);
  TJson& Boolean(bool Value);
  TJson& Null();

private:
  TJson& Open(char Bracket);
  TJson& Close(char Bracket);
  void Separate();
  std::ostream& FOut;
  std::vector<bool> FFirst; // per open bracket: nothing written in it yet
  bool FAfterKey = false;
};
