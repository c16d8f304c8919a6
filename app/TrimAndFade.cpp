#include "app/TrimAndFade.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <tuple>

namespace {

// "4", "2.5", "0.125": seconds to the millisecond, without trailing zeros.
std::wstring SecondsText(double Seconds) {
  wchar_t Text[40];
  std::swprintf(Text, std::size(Text), L"%.3f", Seconds);
  std::wstring Result = Text;
  Result.erase(Result.find_last_not_of(L'0') + 1);
  if (Result.back() == L'.')
    Result.pop_back();
  return Result;
}

std::wstring Trimmed(const std::wstring& Text) {
  size_t First = Text.find_first_not_of(L" \t"), Last = Text.find_last_not_of(L" \t");
  return First == std::wstring::npos ? L"" : Text.substr(First, Last - First + 1);
}

// Digits with at most one point among them. Read by hand: the decimal point is a point whatever the locale.
std::optional<double> Decimal(const std::wstring& Text, bool Whole) {
  if (Text.empty() || Text.size() > 16)
    return std::nullopt;
  double Value = 0, Scale = 1;
  bool Point = false, Digit = false;
  for (wchar_t C : Text) {
    if (C == L'.' && !Point && !Whole) {
      Point = true;
    } else if (C >= L'0' && C <= L'9') {
      Digit = true;
      if (Point)
        Value += (Scale /= 10) * (C - L'0');
      else
        Value = Value * 10 + (C - L'0');
    } else {
      return std::nullopt;
    }
  }
  return Digit ? std::optional<double>(Value) : std::nullopt;
}

// Seconds ("75.5") or minutes and seconds ("1:15.5", the seconds under 60).
std::optional<double> ParseTime(const std::wstring& Text) {
  size_t Colon = Text.find(L':');
  if (Colon == std::wstring::npos)
    return Decimal(Text, false);
  std::optional<double> Minutes = Decimal(Text.substr(0, Colon), true),
                        Seconds = Decimal(Text.substr(Colon + 1), false);
  if (!Minutes || !Seconds || *Seconds >= 60)
    return std::nullopt;
  return *Minutes * 60 + *Seconds;
}

// Lengths are shown and typed to the millisecond: a fade that fills what is left, typed as shown, fits.
constexpr double kShownPrecision = 0.0005;

TShapeChoice Refused(std::wstring Why) {
  return {{}, std::move(Why)};
}

} // namespace

std::wstring TimeText(double Seconds) {
  const long long Ms = std::llround(std::max(0.0, Seconds) * 1000);
  wchar_t Text[48];
  std::swprintf(Text, std::size(Text), L"%lld:%02lld", Ms / 60000, Ms / 1000 % 60);
  std::wstring Result = Text;
  if (Ms % 1000 != 0)
    Result += SecondsText(static_cast<double>(Ms % 1000) / 1000).substr(1);
  return Result;
}

std::wstring ShapeText(const TSongShape& Shape) {
  std::wstring Text;
  if (Shape.Start || Shape.End)
    Text = TimeText(Shape.Start.value_or(0)) + L"-" + (Shape.End ? TimeText(*Shape.End) : L"end");
  if (Shape.FadeOut)
    Text += (Text.empty() ? L"" : L", ") + std::wstring(L"fade ") + SecondsText(*Shape.FadeOut) + L" s";
  return Text;
}

TShapeFields FieldsOf(const TSongShape& Shape) {
  auto Field = [](const std::optional<double>& Time) { return Time ? SecondsText(*Time) : L""; };
  return {Field(Shape.Start), Field(Shape.End), Field(Shape.FadeOut)};
}

std::wstring LengthsText(const std::vector<TSongLength>& Songs) {
  const TSongLength *Shortest = nullptr, *Longest = nullptr;
  size_t Unknown = 0;
  for (const TSongLength& Song : Songs) {
    if (!Song.Seconds) {
      ++Unknown;
      continue;
    }
    if (Shortest == nullptr || *Song.Seconds < *Shortest->Seconds)
      Shortest = &Song;
    if (Longest == nullptr || *Song.Seconds > *Longest->Seconds)
      Longest = &Song;
  }
  std::wstring Text;
  if (Songs.size() == 1)
    Text = Shortest ? L"Length of \"" + Shortest->Name + L"\": " + TimeText(*Shortest->Seconds)
                    : L"The converter could not measure \"" + Songs[0].Name + L"\"";
  else if (Shortest != nullptr)
    Text = L"Lengths of the " + std::to_wstring(Songs.size()) + L" songs: from " +
           TimeText(*Shortest->Seconds) + L" (" + Shortest->Name + L") to " + TimeText(*Longest->Seconds) +
           L" (" + Longest->Name + L")";
  if (Songs.size() > 1 && Unknown > 0)
    Text += (Text.empty() ? L"" : L"; ") + std::to_wstring(Unknown) + L" could not be measured";
  return Text;
}

TShapeChoice ShapeFromFields(const TShapeFields& Fields, const std::vector<TSongLength>& Songs) {
  TShapeChoice Choice;
  TSongShape& Shape = Choice.Shape;
  const std::tuple<const wchar_t*, const std::wstring&, std::optional<double>&> Times[] = {
      {L"Start", Fields.Start, Shape.Start},
      {L"End", Fields.End, Shape.End},
      {L"Fade out", Fields.FadeOut, Shape.FadeOut}};
  for (const auto& [Name, Typed, Time] : Times) {
    const std::wstring Text = Trimmed(Typed);
    if (Text.empty())
      continue;
    Time = ParseTime(Text);
    if (!Time)
      return Refused(std::wstring(Name) + L": \"" + Text +
                     L"\" is not a time. Give seconds (75.5) or minutes and seconds (1:15.5), or nothing.");
    if (*Time > kLongestShapeSeconds)
      return Refused(std::wstring(Name) + L": " + Text + L" is past a day (" +
                     SecondsText(kLongestShapeSeconds) + L" seconds), the longest time the converter takes.");
  }
  const double Start = Shape.Start.value_or(0);
  if (Shape.End && *Shape.End <= Start)
    return Refused(L"The end (" + TimeText(*Shape.End) + L") must come after the start (" + TimeText(Start) +
                   L").");
  for (const TSongLength& Song : Songs) {
    if (Shape.Start && Song.Seconds && Start >= *Song.Seconds)
      return Refused(L"The start (" + TimeText(Start) + L") lies at or past the end of \"" + Song.Name +
                     L"\", which is " + TimeText(*Song.Seconds) + L" long.");
    std::optional<double> End = Song.Seconds;
    if (Shape.End)
      End = std::min(End.value_or(*Shape.End), *Shape.End);
    if (Shape.FadeOut && End && *Shape.FadeOut > *End - Start + kShownPrecision)
      return Refused(L"The fade-out (" + SecondsText(*Shape.FadeOut) +
                     L" s) is longer than what is left of \"" + Song.Name + L"\" (" +
                     SecondsText(*End - Start) + L" s).");
  }
  return Choice;
}
