#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

using Date = std::chrono::system_clock::time_point;

inline Date now() { return std::chrono::system_clock::now(); }

// Seconds as a double, the way intervals are kept.
double secondsSince(Date earlier, Date later);
double secondsSinceNow(Date date);  // negative for a date in the future
Date addingSeconds(Date date, double seconds);
double secondsSince1970(Date date);
Date dateFromSecondsSince1970(double seconds);
// Seconds since 1 January 2001 00:00:00 UTC, the reference date that
// absolute times in records count from.
double secondsSince2001(Date date);
Date dateFromSecondsSince2001(double seconds);
// The current time as seconds since 2001.
inline double currentAbsoluteTime() { return secondsSince2001(now()); }

// The monotonic clock, which measures how long work takes whatever happens
// to the wall clock meanwhile: its reading in seconds, and the seconds since
// an earlier reading.
inline double monotonicSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
inline double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// UTC internet date-time: "2026-12-09T20:09:26.123Z" (milliseconds) or,
// without fractional seconds, "2026-12-09T20:09:26Z".
std::string iso8601String(Date date, bool fractionalSeconds = true);

// A date's plain text in UTC, to the second: "2026-12-09 20:09:26 +0000".
std::string dateDescription(Date date);

// Reads "YYYY-MM-DDTHH:MM:SS[.fraction](Z|+HH:MM|-HH:MM)"; 't'/'z' and a
// space separator are accepted too. Nullopt for anything else or an
// impossible date.
std::optional<Date> parseISO8601(std::string_view text);

}  // namespace platform
