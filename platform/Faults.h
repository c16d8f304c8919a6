#pragma once
// Fault injection for the OS seam. Every file-system call of the platform layer asks this table first;
// a test arms it so that the k-th call of a kind fails with a chosen system error code, once or from then
// on, and so proves that no failure of the OS loses data. Not armed, it costs one counter increment.

#include <cstdint>

namespace platform {

enum class FaultKind { Open, Create, Read, Write, Delete, Move, TempName };
constexpr int kFaultKindCount = 7;

// Makes the Nth call (1-based, counted from now) of Kind fail with ErrorCode; with Persistent, that call
// and every later one of the kind fail.
void InjectFault(FaultKind Kind, int N, int ErrorCode, bool Persistent = false);

// Disarms every fault and resets the call counters.
void ClearFaults();

// Calls of Kind seen since the last ClearFaults (or since start).
int64_t FaultCallCount(FaultKind Kind);

// Counts a call of Kind and returns the error code it must fail with, or 0 to let it run.
int CheckFault(FaultKind Kind);

} // namespace platform
