#include "platform/log/Signposter.hpp"

#include <atomic>
#include <string>

#include "platform/foundation/NumberFormat.hpp"

namespace platform {

namespace {

std::atomic<uint64_t> lastSignpostId{0};

std::string idText(uint64_t id) { return " [" + formatUnsigned(id) + "]"; }

}  // namespace

SignpostInterval Signposter::beginInterval(std::string_view name) const {
    SignpostInterval interval;
    interval.id = ++lastSignpostId;
    interval.start = std::chrono::steady_clock::now();
    interval.open = true;
    if (isEnabled()) logger_.debug("begin " + std::string(name) + idText(interval.id));
    return interval;
}

double Signposter::endInterval(std::string_view name, SignpostInterval& interval) const {
    if (!isEnabled()) return 0;
    if (!interval.open) {
        logger_.debug("end " + std::string(name) + idText(interval.id) +
                      " [Error] Interval already ended");
        return 0;
    }
    interval.open = false;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - interval.start).count();
    logger_.debug("end " + std::string(name) + idText(interval.id) + " " +
                  formatFixed(seconds * 1000, 3) + " ms");
    return seconds;
}

}  // namespace platform
