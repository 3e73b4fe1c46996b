#pragma once

#include <charconv>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace ZezeziCore {

// The engine's logger: silent by default; a level and an optional callback
// that replaces the system log. Any thread may log.
class Logging {
public:
    enum class LogLevel : int { debug = 1, info = 2, error = 3, none = 4 };
    static std::optional<LogLevel> logLevel(int rawValue);

    // Kinds of system log entry.
    enum class OSLogType { defaultType, info, debug, error, fault };

    using Callback = std::function<void(const std::string&)>;

    static Logging& shared();

    LogLevel logLevel() const;
    void setLogLevel(LogLevel level);
    Callback loggingCallback() const;
    void setLoggingCallback(Callback callback);

    bool isLoggingEnabled() const;
    bool isLoggingEnabled(LogLevel level) const;

    void log(const std::vector<std::string>& items, const std::string& separator = " ",
             const std::optional<std::string>& terminator = std::nullopt, OSLogType type = OSLogType::defaultType);

    template <class... T>
    static void debug(const T&... items) {
        shared().log({describe(items)...}, " ", std::nullopt, OSLogType::debug);
    }
    template <class... T>
    static void info(const T&... items) {
        shared().log({describe(items)...}, " ", std::nullopt, OSLogType::info);
    }
    template <class... T>
    static void error(const T&... items) {
        shared().log({describe(items)...}, " ", std::nullopt, OSLogType::error);
    }

    static bool loggingEnabled() { return shared().isLoggingEnabled(); }
    static bool loggingEnabled(LogLevel level) { return shared().isLoggingEnabled(level); }
    static void updateLogLevel(LogLevel level) { shared().setLogLevel(level); }
    static void updateCallback(Callback callback) { shared().setLoggingCallback(std::move(callback)); }

    // Whole mebibytes of resident memory; 0 when it cannot be read.
    static uint64_t getMemoryUsage();
    static void logCurrentMemoryUsage(const std::string& message);

    // "%8.2f ms / %6.0f runs (%8.2f ms/run) %5.2f%%" of the time in seconds,
    // the run count and the total in milliseconds.
    static std::string formatTimeWithPercentage(double time, double runs, double totalMilliseconds);

    // The text a value prints as: strings as they are, booleans as
    // true/false, floats and doubles in their own shortest form with at
    // least one decimal (0.1f prints "0.1").
    static std::string describe(const std::string& s) { return s; }
    static std::string describe(std::string_view s) { return std::string(s); }
    static std::string describe(const char* s) { return s ? s : ""; }
    static std::string describe(bool b) { return b ? "true" : "false"; }
    static std::string describe(double d);
    static std::string describe(float f);
    template <class T>
    static std::string describe(const T& value) {
        if constexpr (std::is_integral_v<T>) {
            return std::to_string(value);
        } else {
            std::ostringstream out;
            out << value;
            return out.str();
        }
    }

private:
    Logging() = default;
    mutable std::mutex lock_;
    LogLevel logLevel_ = LogLevel::none;
    Callback loggingCallback_;
};

inline bool operator<(Logging::LogLevel a, Logging::LogLevel b) { return static_cast<int>(a) < static_cast<int>(b); }
inline bool operator<=(Logging::LogLevel a, Logging::LogLevel b) { return !(b < a); }
inline bool operator>(Logging::LogLevel a, Logging::LogLevel b) { return b < a; }
inline bool operator>=(Logging::LogLevel a, Logging::LogLevel b) { return !(a < b); }

}  // namespace ZezeziCore
