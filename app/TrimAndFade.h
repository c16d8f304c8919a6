#pragma once
// The trim and fade-out of songs about to be imported, as the batch window shows them and as the user types
// them: times as text, and the checks that refuse what the converter could not do with the songs chosen.

#include "app/Services.h"
#include "workflows/Converter.h"

#include <optional>
#include <string>
#include <vector>

// "3:10", "0:05.5", "75:00": minutes and seconds, up to three decimals where the time has them.
std::wstring TimeText(double Seconds);
// "0:05-3:10, fade 4 s", "0:05-end", "fade 2.5 s"; empty for an empty shape.
std::wstring ShapeText(const TSongShape& Shape);
// The fields that give Shape back, in seconds.
TShapeFields FieldsOf(const TSongShape& Shape);

// A song the fields are checked against: its file's name and its length, when the converter could measure
// it.
struct TSongLength {
  std::wstring Name;
  std::optional<double> Seconds;
};

// "Length: 3:10 (song.wav)"; for several songs the shortest and the longest; songs not measured are counted.
std::wstring LengthsText(const std::vector<TSongLength>& Songs);

// The shape the fields give for every one of Songs, or why not. Each field is empty, seconds ("75.5") or
// minutes and seconds ("1:15.5"), at most kLongestShapeSeconds; the end comes after the start; the start
// lies before the end of every song measured, and the fade-out is no longer than what is left of each
// (to the end given or the song's own). All fields empty give the empty shape.
struct TShapeChoice {
  TSongShape Shape;
  std::wstring Refusal; // empty when the fields are accepted
};
TShapeChoice ShapeFromFields(const TShapeFields& Fields, const std::vector<TSongLength>& Songs);
