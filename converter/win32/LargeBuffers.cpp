#include "converter/LargeBuffers.h"

namespace sx {

// Windows gives large pages only to programs holding the "lock pages in memory" privilege, which the
// converter does not ask for.
void AdviseLargeBuffer(void*, size_t) {}

} // namespace sx
