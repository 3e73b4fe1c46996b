#pragma once

#include <cstddef>
#include <functional>

#include "platform/concurrency/ThreadPool.hpp"

namespace platform {

// Runs a batch of whole, independent jobs (a transcription each, say) a few
// at a time: at most `limit` at once, 0 meaning the machine's core count.
// The calling thread takes part and runs every job the pool has not taken
// yet, so a job may itself wait on a nested batch without holding pool
// slots that batch needs, and a job the pool cannot take still runs.
struct ConcurrentWork {
    // Runs job(i) for every i in [0, count) and returns once all have
    // ended. What a job throws ends only that job; the first such error is
    // rethrown once every job has ended. `pool` null: the caller runs all.
    static void forEach(size_t count, size_t limit, const std::function<void(size_t index)>& job,
                        ThreadPool* pool = ConcurrentWork::pool());

    // The process-wide pool for such batches: one thread per core, started
    // on first use; null when its threads could not be started.
    static ThreadPool* pool();
    // The machine's core count (at least 1).
    static size_t coreCount();
};

}  // namespace platform
