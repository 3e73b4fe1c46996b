#pragma once

#include <cstdint>
#include <functional>

namespace platform::ml {

// Runs body(begin, end) over [0, count) in chunks on a shared pool; the
// calling thread takes part. Safe to call from several threads at once.
void parallelFor(int64_t count, int64_t grain, const std::function<void(int64_t begin, int64_t end)>& body);
int workerCount();

}  // namespace platform::ml
