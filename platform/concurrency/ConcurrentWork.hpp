#pragma once

#include <cstddef>
#include <functional>

#include "platform/concurrency/ThreadPool.hpp"

namespace platform {

// Runs a batch of whole, independent jobs (a transcription each, say) a few
// at a time: at most `limit` at once, 0 meaning as many as the process has
// cores to run on.
// The calling thread takes part and runs every job the pool has not taken
// yet, so a job may itself wait on a nested batch without holding pool
// slots that batch needs, and a job the pool cannot take still runs.
struct ConcurrentWork {
    // Runs job(i) for every i in [0, count) and returns once all have
    // ended. What a job throws ends only that job; the first such error is
    // rethrown once every job has ended. `pool` null: the caller runs all.
    static void forEach(size_t count, size_t limit, const std::function<void(size_t index)>& job,
                        ThreadPool* pool = ConcurrentWork::pool());

    // The process-wide pool for such batches: one thread per core the
    // process may run on, started on first use. Null when its threads could
    // not be started: that is logged, and the next call tries again.
    static ThreadPool* pool();
    // The cores this process may run on (at least 1).
    static size_t coreCount();
};

}  // namespace platform
