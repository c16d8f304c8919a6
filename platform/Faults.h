#pragma once
// Fault injection for the OS seam. Every file-system call of the platform layer asks this table first;
// a test arms it so that the k-th call of a kind fails with a chosen system error code, once or from then
// on, and so proves that no failure of the OS loses data. Not armed, it costs one counter increment.

#include <cstdint>

namespace platform {

enum class FaultKind { Open, Create, Read, Write, Delete, Move, TempName, Flush, FolderFlush, Lock };
constexpr int kFaultKindCount = 10;

// Makes the Nth call (1-based, counted from now) of Kind fail with ErrorCode; with Persistent, that call
// and every later one of the kind fail.
void InjectFault(FaultKind Kind, int N, int ErrorCode, bool Persistent = false);

// Disarms every fault and resets the call counters.
void ClearFaults();

// Calls of Kind seen since the last ClearFaults (or since start).
int64_t FaultCallCount(FaultKind Kind);

// Counts a call of Kind and returns the error code it must fail with, or 0 to let it run.
int CheckFault(FaultKind Kind);

// Called before every call of the seam, of any kind, with the number of such calls since the hook was
// set (1, 2, ...); a test stops the process there to prove that no moment of a write loses a file.
// nullptr (the default) calls nothing.
void SetCallHook(void (*Hook)(int64_t Call));

} // namespace platform
