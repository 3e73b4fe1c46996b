#include "app/Support/Settle.hpp"

namespace Parlox {

bool Settle::within(platform::Scheduler& scheduler, double seconds, const std::function<bool()>& holds) {
    const auto start = scheduler.uptime();
    while (!holds()) {
        if (scheduler.secondsSince(start) >= seconds) return false;
        scheduler.sleep(interval);
    }
    return true;
}

}  // namespace Parlox
