#pragma once

#include <cstddef>

namespace platform {

// The cores this process may run on (its CPU affinity, as `taskset` or a
// container sets it), at least 1; the machine's online count when the
// affinity cannot be read. Read anew at every call.
size_t usableCoreCount();

}  // namespace platform
