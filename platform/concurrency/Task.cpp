#include "platform/concurrency/Task.hpp"

#include <condition_variable>
#include <mutex>

namespace platform {

bool Task::sleep(double seconds, std::stop_token token) {
    if (token.stop_requested()) return false;
    if (!(seconds > 0)) return true;
    if (seconds > 1e9) seconds = 1e9;
    std::mutex mutex;
    std::condition_variable_any condition;
    std::unique_lock lock(mutex);
    const auto until = std::chrono::steady_clock::now() +
                       std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                           std::chrono::duration<double>(seconds));
    condition.wait_until(lock, token, until, [] { return false; });
    return !token.stop_requested();
}

}  // namespace platform
