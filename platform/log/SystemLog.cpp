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
        if (text == "error") return static_cast<int>(LogLevel::error);
        return static_cast<int>(LogLevel::info);
    }();
    return level;
}

std::mutex sinkMutex;
std::shared_ptr<SystemLog::Sink> currentSink;

void openSystemLog() {
    static std::once_flag once;
    std::call_once(once, [] { ::openlog("Parlox", LOG_PID, LOG_USER); });
}

int priorityOf(LogLevel level) {
    switch (level) {
        case LogLevel::debug: return LOG_DEBUG;
        case LogLevel::info: return LOG_INFO;
        case LogLevel::error: return LOG_ERR;
    }
    return LOG_INFO;
}

}  // namespace

const char* logLevelName(LogLevel level) {
    switch (level) {
        case LogLevel::debug: return "debug";
        case LogLevel::info: return "info";
        case LogLevel::error: return "error";
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
        std::lock_guard lock(sinkMutex);
        sink = currentSink;
    }
    if (sink) {
        (*sink)(level, subsystem_, category_, std::string(message));
        return;
    }
    openSystemLog();
    const std::string entry = SystemLog::formatEntry(subsystem_, category_, message);
    ::syslog(priorityOf(level), "%s", entry.c_str());
}

LogLevel SystemLog::minimumLevel() {
    return static_cast<LogLevel>(minimumLevelStorage().load(std::memory_order_relaxed));
}

void SystemLog::setMinimumLevel(LogLevel level) {
    minimumLevelStorage().store(static_cast<int>(level), std::memory_order_relaxed);
}

void SystemLog::setSink(Sink sink) {
    std::lock_guard lock(sinkMutex);
    currentSink = sink ? std::make_shared<Sink>(std::move(sink)) : nullptr;
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
