#include "converter/LargeBuffers.h"

#include <cstdint>
#include <sys/mman.h>

namespace sx {

void AdviseLargeBuffer(void* Data, size_t Size) {
#ifdef MADV_HUGEPAGE
  // Only whole large pages inside the buffer can be backed by one.
  constexpr uintptr_t kLargePage = uintptr_t(2) << 20;
  const uintptr_t Begin = (reinterpret_cast<uintptr_t>(Data) + kLargePage - 1) & ~(kLargePage - 1);
  const uintptr_t End = (reinterpret_cast<uintptr_t>(Data) + Size) & ~(kLargePage - 1);
  if (End > Begin)
    madvise(reinterpret_cast<void*>(Begin), End - Begin, MADV_HUGEPAGE); // advice: a refusal changes nothing
#else
  (void)Data;
  (void)Size;
#endif
}

} // namespace sx
