#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/foundation/Date.hpp"

namespace Parlox {

// The application's log: every message goes to the system log and is
// appended as one line to "Parlox.log" in the logs folder. Callable from
// any thread; returns at once, the file is written on one serial writer.
struct Log {
    static void info(std::string_view message);
    static void error(std::string_view message);

    // "<ISO-8601 UTC with milliseconds> <INFO  |ERROR ><message>\n".
    static std::string line(platform::Date date, bool isError, std::string_view message);

    // The file, "Parlox.log" in platform::Paths::logsDirectory(), fixed on first use.
    static std::filesystem::path fileURL();
    // Waits until every line logged before the call is written.
    static void flush();
};

}  // namespace Parlox
