#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/log/SystemLog.hpp"

namespace platform {

// One timed interval: its id, when it began, and whether it is still open.
struct SignpostInterval {
    uint64_t id = 0;
    std::chrono::steady_clock::time_point start{};
    bool open = true;
};

// Marks intervals of work on a logger. Intervals are logged at debug level
// (begin, and end with the measured duration) and only when debug entries
// are enabled; when they are not, begin still returns an open interval and
// end leaves it untouched. Ending an interval twice logs the second end
// marked "[Error] Interval already ended".
class Signposter {
public:
    explicit Signposter(SystemLogger logger) : logger_(std::move(logger)) {}
    Signposter(std::string subsystem, std::string category)
        : logger_(std::move(subsystem), std::move(category)) {}

    const SystemLogger& logger() const { return logger_; }
    bool isEnabled() const { return logger_.isEnabled(LogLevel::debug); }

    SignpostInterval beginInterval(std::string_view name) const;
    // Returns the measured seconds (0 when disabled or already ended).
    double endInterval(std::string_view name, SignpostInterval& interval) const;

private:
    SystemLogger logger_;
};

// Begins on construction, ends on destruction (every way out of a scope).
class ScopedSignpost {
public:
    ScopedSignpost(const Signposter& signposter, std::string name)
        : signposter_(signposter), name_(std::move(name)),
          interval_(signposter.beginInterval(name_)) {}
    ~ScopedSignpost() { signposter_.endInterval(name_, interval_); }
    ScopedSignpost(const ScopedSignpost&) = delete;
    ScopedSignpost& operator=(const ScopedSignpost&) = delete;

private:
    const Signposter& signposter_;
    std::string name_;
    SignpostInterval interval_;
};

}  // namespace platform
