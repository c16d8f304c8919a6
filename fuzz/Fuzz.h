#pragma once
// Shared by the fuzz targets. Each target defines LLVMFuzzerTestOneInput over one reader of untrusted
// input; the fuzz preset links it with libFuzzer, every other preset with Replay.cpp, whose main runs it
// over the committed corpus and crash inputs. An input that breaks a target's property aborts the
// process; a reader's own error (an Exception) is a correct answer and ends the input quietly.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size);

namespace fuzz {

using Bytes = std::vector<uint8_t>;

// Reports the property that does not hold, then aborts.
[[noreturn]] void Finding(const char* Property);

// A scratch file or folder path of this process in the system's temporary folder, made once per Prefix
// and deleted when the process ends.
const std::string& ScratchPath(const std::string& Prefix);

// Writes Data to the file at Path, replacing it.
void WriteFile(const std::string& Path, const uint8_t* Data, size_t Size);

} // namespace fuzz

#define FUZZ_CHECK(Condition) ((Condition) ? (void)0 : fuzz::Finding(#Condition))
