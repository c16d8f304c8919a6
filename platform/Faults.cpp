#include "platform/Faults.h"

namespace platform {
namespace {

struct FaultSlot {
  int64_t Calls = 0;
  int64_t FailAt = 0; // 0: not armed
  int ErrorCode = 0;
  bool Persistent = false;
};

FaultSlot Slots[kFaultKindCount];
void (*CallHook)(int64_t) = nullptr;
int64_t HookedCalls = 0;

FaultSlot& SlotOf(FaultKind Kind) {
  return Slots[static_cast<int>(Kind)];
}

} // namespace

void InjectFault(FaultKind Kind, int N, int ErrorCode, bool Persistent) {
  FaultSlot& Slot = SlotOf(Kind);
  Slot.FailAt = Slot.Calls + N;
  Slot.ErrorCode = ErrorCode;
  Slot.Persistent = Persistent;
}

void ClearFaults() {
  for (FaultSlot& Slot : Slots)
    Slot = FaultSlot{};
}

int64_t FaultCallCount(FaultKind Kind) {
  return SlotOf(Kind).Calls;
}

int CheckFault(FaultKind Kind) {
  if (CallHook != nullptr)
    CallHook(++HookedCalls);
  FaultSlot& Slot = SlotOf(Kind);
  ++Slot.Calls;
  if (Slot.FailAt == 0)
    return 0;
  if (Slot.Calls == Slot.FailAt || (Slot.Persistent && Slot.Calls > Slot.FailAt))
    return Slot.ErrorCode;
  return 0;
}

void SetCallHook(void (*Hook)(int64_t Call)) {
  CallHook = Hook;
  HookedCalls = 0;
}

} // namespace platform
