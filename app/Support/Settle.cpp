#include "app/Support/Settle.hpp"

namespace Parlox {

bool Settle::within(const DesktopServices& desktop, const std::function<bool()>& holds) {
    const auto start = desktop.scheduler->uptime();
    while (!holds()) {
        if (desktop.scheduler->secondsSince(start) >= limit) return false;
        desktop.scheduler->sleep(interval);
    }
    return true;
}

}  // namespace Parlox
