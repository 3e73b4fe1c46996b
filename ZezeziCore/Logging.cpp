#include "ZezeziCore/Logging.hpp"

#include <unistd.h>

#include <cmath>
#include <fstream>

#include "platform/foundation/NumberFormat.hpp"
#include "platform/log/SystemLog.hpp"

namespace ZezeziCore {

namespace {

Logging::LogLevel levelFor(Logging::OSLogType type) {
    switch (type) {
        case Logging::OSLogType::debug: return Logging::LogLevel::debug;
        case Logging::OSLogType::info: return Logging::LogLevel::info;
        case Logging::OSLogType::error:
        case Logging::OSLogType::fault: return Logging::LogLevel::error;
        case Logging::OSLogType::defaultType: break;
    }
    return Logging::LogLevel::info;
}

platform::LogLevel systemLevelFor(Logging::OSLogType type) {
    switch (type) {
        case Logging::OSLogType::debug: return platform::LogLevel::debug;
        case Logging::OSLogType::error: return platform::LogLevel::error;
        // A fault stays a fault in the system log.
        case Logging::OSLogType::fault: return platform::LogLevel::fault;
        default: return platform::LogLevel::info;
    }
}

const platform::SystemLogger& systemLogger() {
    static const platform::SystemLogger logger("qz.tamo.Parlox", "Vuvave");
    return logger;
}

}  // namespace

std::optional<Logging::LogLevel> Logging::logLevel(int rawValue) {
    if (rawValue < 1 || rawValue > 4) return std::nullopt;
    return static_cast<LogLevel>(rawValue);
}

Logging& Logging::shared() {
    static Logging logging;
    return logging;
}

Logging::LogLevel Logging::logLevel() const {
    std::lock_guard lock(lock_);
    return logLevel_;
}

void Logging::setLogLevel(LogLevel level) {
    std::lock_guard lock(lock_);
    logLevel_ = level;
}

Logging::Callback Logging::loggingCallback() const {
    std::lock_guard lock(lock_);
    return loggingCallback_;
}

void Logging::setLoggingCallback(Callback callback) {
    Callback old;
    {
        std::lock_guard lock(lock_);
        old = std::move(loggingCallback_);
        loggingCallback_ = std::move(callback);
    }
}

bool Logging::isLoggingEnabled() const { return logLevel() != LogLevel::none; }

bool Logging::isLoggingEnabled(LogLevel level) const {
    LogLevel current = logLevel();
    return current != LogLevel::none && current <= level;
}

void Logging::log(const std::vector<std::string>& items, const std::string& separator,
                  const std::optional<std::string>& terminator, OSLogType type) {
    LogLevel level;
    Callback callback;
    {
        std::lock_guard lock(lock_);
        level = logLevel_;
        callback = loggingCallback_;
    }
    if (level == LogLevel::none || levelFor(type) < level) return;
    std::string text;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i) text += separator;
        text += items[i];
    }
    if (terminator) text += *terminator;
    if (callback) {
        callback(text);
        return;
    }
    auto systemLevel = systemLevelFor(type);
    if (systemLogger().isEnabled(systemLevel)) systemLogger().log(systemLevel, text);
}

std::string Logging::describe(double d) { return platform::formatShortest(d); }

std::string Logging::describe(float f) { return platform::formatShortest(f); }

uint64_t Logging::getMemoryUsage() {
    std::ifstream statm("/proc/self/statm");
    uint64_t size = 0, resident = 0;
    if (!(statm >> size >> resident)) return 0;
    long page = ::sysconf(_SC_PAGESIZE);
    if (page <= 0) return 0;
    return (resident * static_cast<uint64_t>(page)) >> 20;
}

void Logging::logCurrentMemoryUsage(const std::string& message) {
    shared().log({message + " - Memory usage: " + std::to_string(getMemoryUsage()) + " MB"}, " ", std::nullopt,
                 OSLogType::debug);
}

std::string Logging::formatTimeWithPercentage(double time, double runs, double totalMilliseconds) {
    double ms = time * 1000;
    double perRun = runs > 0 ? ms / runs : 0;
    double percentage = ms / totalMilliseconds * 100;
    return platform::formatFixed(ms, 2, 8) + " ms / " + platform::formatFixed(runs, 0, 6) + " runs (" +
           platform::formatFixed(perRun, 2, 8) + " ms/run) " + platform::formatFixed(percentage, 2, 5) + "%";
}

}  // namespace ZezeziCore
