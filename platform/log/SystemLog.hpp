#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

// The system log: syslog with ident "Parlox". Each message carries its
// subsystem and category: "[subsystem/category] message". Thread-safe.
namespace platform {

enum class LogLevel { debug = 0, info = 1, error = 2 };

const char* logLevelName(LogLevel level);  // "debug", "info", "error"

class SystemLogger {
public:
    SystemLogger(std::string subsystem, std::string category);

    const std::string& subsystem() const { return subsystem_; }
    const std::string& category() const { return category_; }

    bool isEnabled(LogLevel level) const;
    void log(LogLevel level, std::string_view message) const;
    void debug(std::string_view message) const { log(LogLevel::debug, message); }
    void info(std::string_view message) const { log(LogLevel::info, message); }
    void error(std::string_view message) const { log(LogLevel::error, message); }

private:
    std::string subsystem_;
    std::string category_;
};

struct SystemLog {
    // Lowest level that is written. Info by default; the environment
    // variable PARLOX_LOG_LEVEL=debug|info|error sets the start value.
    static LogLevel minimumLevel();
    static void setMinimumLevel(LogLevel level);

    // Where entries go instead of syslog (tests, or a mirror to stderr);
    // an empty function restores syslog. Called outside any lock.
    using Sink = std::function<void(LogLevel, const std::string& subsystem,
                                    const std::string& category, const std::string& message)>;
    static void setSink(Sink sink);

    // The text handed to syslog for one entry.
    static std::string formatEntry(std::string_view subsystem, std::string_view category,
                                   std::string_view message);
};

}  // namespace platform
