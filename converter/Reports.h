#pragma once
// The reports of sx -measure and sx -tags: one line of JSON per input file, for programs to read.

#include "converter/Bytes.h"

#include <cstddef>
#include <string>

namespace sx {

// {"input":..., "integrated": LUFS, "truePeak": dBTP, "samplePeak": dBFS, "sampleRate":..., "channels":...,
// "seconds":..., "frames":..., "codec":...}: integrated is null when no block passes the absolute gate
// (silence, under 0.4 s), the peaks are null for a sound of zeros; frames counts per channel, codec is
// ReadAudio's name. With Points, "envelope" follows: per channel an array of Points pairs [min, max] of
// 16-bit sample values, as Envelope gives them. All from one decode. Raises as ReadAudio and the file
// layer do.
std::string MeasureReport(const std::string& Input, size_t Points = 0);

// {"input":..., "title":..., "artist":..., "album":...}, each null when not known; of the file's bytes Data
// when given.
std::string TagsReport(const std::string& Input);
std::string TagsReport(const std::string& Input, const Bytes& Data);

// {"input":..., "error":...} for an input that could not be reported on.
std::string ErrorReport(const std::string& Input, const std::string& Message);

} // namespace sx
