#pragma once
// The few large buffers of a conversion (the input file, the decoded sound, the encoded output) are each
// filled once. The first touch of every 4 KB page of fresh memory is a trip into the kernel, and for a
// song of a few minutes those trips cost more processor time than encoding it; where the system offers
// large pages for memory that asks for them (Linux's transparent huge pages), one trip fills 2 MB.

#include <cstddef>
#include <vector>

namespace sx {

// Asks for large pages behind the untouched memory [Data, Data + Size); nothing where the system has no
// such advice.
void AdviseLargeBuffer(void* Data, size_t Size);

// Reserves room for Count elements, asking for large pages before the memory is first touched.
template <class T> void ReserveLarge(std::vector<T>& Buffer, size_t Count) {
  if (Count <= Buffer.capacity())
    return;
  Buffer.reserve(Count);
  AdviseLargeBuffer(Buffer.data(), Count * sizeof(T));
}

} // namespace sx
