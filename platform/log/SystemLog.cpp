#include "platform/log/SystemLog.hpp"

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>

#include <syslog.h>

namespace platform {

namespace {

std::atomic<int>& minimumLevelStorage() {
    static std::atomic<int> level = [] {
        const char* value = std::getenv("PARLOX_LOG_LEVEL");
        std::string text = value ? value : "";
        if (text == "debug") return static_cast<int>(LogLevel::debug);
        if (text == "warning") return static_cast<int>(LogLevel::warning);
        if (text == "error") return static_cast<int>(LogLevel::error);
        return static_cast<int>(LogLevel::info);
    }();
    return level;
}

struct SinkState {
    std::mutex mutex;
    std::shared_ptr<SystemLog::Sink> sink;
};

// Never destroyed: threads still logging while the process exits must not
// meet a destroyed mutex.
SinkState& sinkState() {
    static SinkState* state = new SinkState();
    return *state;
}

void openSystemLog() {
    static std::once_flag once;
    std::call_once(once, [] { ::openlog("Parlox", LOG_PID, LOG_USER); });
}

}  // namespace

int SystemLog::priority(LogLevel level) {
    switch (level) {
        case LogLevel::debug: return LOG_DEBUG;
        case LogLevel::info: return LOG_INFO;
        case LogLevel::warning: return LOG_WARNING;
        case LogLevel::error: return LOG_ERR;
        case LogLevel::fault: return LOG_CRIT;
    }
    return LOG_INFO;
}

const char* logLevelName(LogLevel level) {
    switch (level) {
        case LogLevel::debug: return "debug";
        case LogLevel::info: return "info";
        case LogLevel::warning: return "warning";
        case LogLevel::error: return "error";
        case LogLevel::fault: return "fault";
    }
    return "info";
}

SystemLogger::SystemLogger(std::string subsystem, std::string category)
    : subsystem_(std::move(subsystem)), category_(std::move(category)) {}

bool SystemLogger::isEnabled(LogLevel level) const {
    return static_cast<int>(level) >= minimumLevelStorage().load(std::memory_order_relaxed);
}

void SystemLogger::log(LogLevel level, std::string_view message) const {
    if (!isEnabled(level)) return;
    std::shared_ptr<SystemLog::Sink> sink;
    {
        SinkState& state = sinkState();
        std::lock_guard lock(state.mutex);
        sink = state.sink;
    }
    if (sink) {
        (*sink)(level, subsystem_, category_, std::string(message));
        return;
    }
    openSystemLog();
    const std::string entry = SystemLog::formatEntry(subsystem_, category_, message);
    ::syslog(SystemLog::priority(level), "%s", entry.c_str());
}

LogLevel SystemLog::minimumLevel() {
    return static_cast<LogLevel>(minimumLevelStorage().load(std::memory_order_relaxed));
}

void SystemLog::setMinimumLevel(LogLevel level) {
    minimumLevelStorage().store(static_cast<int>(level), std::memory_order_relaxed);
}

void SystemLog::setSink(Sink sink) {
    auto made = sink ? std::make_shared<Sink>(std::move(sink)) : nullptr;
    SinkState& state = sinkState();
    std::lock_guard lock(state.mutex);
    state.sink.swap(made);  // the old sink is let go outside the lock
}

std::string SystemLog::formatEntry(std::string_view subsystem, std::string_view category,
                                   std::string_view message) {
    std::string entry;
    entry.reserve(subsystem.size() + category.size() + message.size() + 4);
    entry += '[';
    entry += subsystem;
    entry += '/';
    entry += category;
    entry += "] ";
    entry += message;
    return entry;
}

}  // namespace platform
