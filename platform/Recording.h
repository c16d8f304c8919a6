#pragma once
// A recording file layer for tests of what a power cut leaves (POSIX builds only). While recording, the
// platform layer remembers for every file it writes the bytes it held when last flushed (or when first
// touched) and the writes and length changes since. CutPower then rewrites each such file to what the disk
// could hold after the power failed at that moment: every write not yet flushed is dropped, or torn at the
// first 512-byte boundary past its start. Renames, creations and deletions are kept as they were done, so
// the model is the one of a journaling file system that orders its metadata and loses unflushed data.

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

enum class CutMode { Drop, Tear };

// Forgets what was recorded and starts recording.
void StartRecording();
void StopRecording();
// Applies the cut to every recorded file and stops recording.
void CutPower(CutMode Mode);
// Writes what the cut would leave to every recorded file's path and goes on recording: with the files'
// folder moved aside and a copy in its place, the copy becomes what a cut at this moment leaves.
void WriteCutState(CutMode Mode);

namespace recording {
// Hooks of the platform layer; each does nothing while not recording.
void Touch(const std::string& Path); // before a file is opened for writing
void Write(const std::string& Path, int64_t Offset, const void* Bytes, size_t Count);
void SetSize(const std::string& Path, int64_t Size);
void Flushed(const std::string& Path);
void Moved(const std::string& Source, const std::string& Target);
void Deleted(const std::string& Path);
} // namespace recording

} // namespace platform
