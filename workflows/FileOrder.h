#pragma once
// The files of a batch and their order.

#include <string>
#include <vector>

// Natural order of names, as a file browser sorts them: runs of digits compare by their value ("2"
// before "10", "007" equal in value to "7" but after it), everything else letter by letter without
// regard to ASCII case. Names equal in that order fall back to their bytes, so the order is total.
bool NaturalLess(const std::string& A, const std::string& B);

// True for the names of files the converter reads, by extension: .wav, .wave, .aif, .aiff, .aifc, .mp3,
// .asf (any case).
bool IsAudioFileName(const std::string& Name);

// The files of a batch: each path that names a folder gives the audio files directly in it, any other
// path is taken as a file (one that cannot be read fails when it is converted). All are sorted by the
// natural order of their names, then of their full paths. Raises the OS error of a folder that cannot be
// read.
std::vector<std::string> ExpandInputs(const std::vector<std::string>& Paths);
