#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

// The system log: syslog with ident "Parlox". Each message carries its
// subsystem and category: "[subsystem/category] message". Thread-safe.
namespace platform {

// In rising order. A fault (a bug or a broken invariant) is written at its
// own syslog priority, above error.
enum class LogLevel { debug = 0, info = 1, warning = 2, error = 3, fault = 4 };

const char* logLevelName(LogLevel level);  // "debug", "info", "warning", "error", "fault"

class SystemLogger {
public:
    SystemLogger(std::string subsystem, std::string category);

    const std::string& subsystem() const { return subsystem_; }
    const std::string& category() const { return category_; }

    bool isEnabled(LogLevel level) const;
    void log(LogLevel level, std::string_view message) const;
    void debug(std::string_view message) const { log(LogLevel::debug, message); }
    void info(std::string_view message) const { log(LogLevel::info, message); }
    void warning(std::string_view message) const { log(LogLevel::warning, message); }
    void error(std::string_view message) const { log(LogLevel::error, message); }
    void fault(std::string_view message) const { log(LogLevel::fault, message); }

private:
    std::string subsystem_;
    std::string category_;
};

struct SystemLog {
    // Lowest level that is written. Info by default; the environment
    // variable PARLOX_LOG_LEVEL=debug|info|warning|error sets the start value.
    static LogLevel minimumLevel();
    static void setMinimumLevel(LogLevel level);

    // Where entries go instead of syslog (tests, or a mirror to stderr);
    // an empty function restores syslog. Called outside any lock.
    using Sink = std::function<void(LogLevel, const std::string& subsystem,
                                    const std::string& category, const std::string& message)>;
    static void setSink(Sink sink);

    // The syslog priority of a level (LOG_DEBUG ... LOG_CRIT).
    static int priority(LogLevel level);

    // The text handed to syslog for one entry.
    static std::string formatEntry(std::string_view subsystem, std::string_view category,
                                   std::string_view message);
};

}  // namespace platform
