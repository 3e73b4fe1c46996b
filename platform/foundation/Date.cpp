#include "platform/foundation/Date.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace platform {

using namespace std::chrono;

double secondsSince(Date earlier, Date later) { return duration<double>(later - earlier).count(); }

double secondsSinceNow(Date date) { return secondsSince(now(), date); }

namespace {

// Seconds as a clock duration. NaN counts as none and the value is kept
// within what the clock can hold (about 292 years either way), where the
// plain conversion would overflow.
system_clock::duration clockSeconds(double seconds) {
    if (std::isnan(seconds)) return system_clock::duration::zero();
    const double limit = duration<double>(system_clock::duration::max()).count() * 0.99;
    return duration_cast<system_clock::duration>(
        duration<double>(std::clamp(seconds, -limit, limit)));
}

}  // namespace

Date addingSeconds(Date date, double seconds) { return date + clockSeconds(seconds); }

double secondsSince1970(Date date) { return duration<double>(date.time_since_epoch()).count(); }

Date dateFromSecondsSince1970(double seconds) { return Date(clockSeconds(seconds)); }

namespace {
constexpr double kSeconds1970To2001 = 978307200.0;
}

std::string dateDescription(Date date) {
    std::string text = iso8601String(date, false);  // "YYYY-MM-DDTHH:MM:SSZ"
    text[text.find('T')] = ' ';
    text.pop_back();
    return text + " +0000";
}

double secondsSince2001(Date date) { return secondsSince1970(date) - kSeconds1970To2001; }

Date dateFromSecondsSince2001(double seconds) { return dateFromSecondsSince1970(seconds + kSeconds1970To2001); }

std::string iso8601String(Date date, bool fractionalSeconds) {
    const auto ms = floor<milliseconds>(date);
    const auto day = floor<days>(ms);
    const year_month_day ymd(day);
    const hh_mm_ss<milliseconds> time(ms - day);
    char buffer[40];
    if (fractionalSeconds) {
        std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ",
                      static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
                      static_cast<unsigned>(ymd.day()), static_cast<int>(time.hours().count()),
                      static_cast<int>(time.minutes().count()),
                      static_cast<int>(time.seconds().count()),
                      static_cast<int>(time.subseconds().count()));
    } else {
        std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02d:%02d:%02dZ",
                      static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
                      static_cast<unsigned>(ymd.day()), static_cast<int>(time.hours().count()),
                      static_cast<int>(time.minutes().count()),
                      static_cast<int>(time.seconds().count()));
    }
    return buffer;
}

namespace {

bool readDigits(std::string_view text, size_t& pos, size_t count, int& value) {
    if (pos + count > text.size()) return false;
    value = 0;
    for (size_t i = 0; i < count; ++i) {
        char c = text[pos + i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    pos += count;
    return true;
}

bool expect(std::string_view text, size_t& pos, char c) {
    if (pos >= text.size() || text[pos] != c) return false;
    ++pos;
    return true;
}

}  // namespace

std::optional<Date> parseISO8601(std::string_view text) {
    size_t pos = 0;
    int y, mo, d, h, mi, s;
    if (!readDigits(text, pos, 4, y) || !expect(text, pos, '-') || !readDigits(text, pos, 2, mo) ||
        !expect(text, pos, '-') || !readDigits(text, pos, 2, d))
        return std::nullopt;
    if (pos >= text.size() || (text[pos] != 'T' && text[pos] != 't' && text[pos] != ' '))
        return std::nullopt;
    ++pos;
    if (!readDigits(text, pos, 2, h) || !expect(text, pos, ':') || !readDigits(text, pos, 2, mi) ||
        !expect(text, pos, ':') || !readDigits(text, pos, 2, s))
        return std::nullopt;
    nanoseconds fraction{0};
    if (pos < text.size() && (text[pos] == '.' || text[pos] == ',')) {
        ++pos;
        size_t digits = 0;
        int64_t nanos = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            if (digits < 9) {
                nanos = nanos * 10 + (text[pos] - '0');
            }
            ++digits;
            ++pos;
        }
        if (digits == 0) return std::nullopt;
        for (size_t i = digits; i < 9; ++i) nanos *= 10;
        fraction = nanoseconds(nanos);
    }
    int offsetMinutes = 0;
    if (pos >= text.size()) return std::nullopt;
    if (text[pos] == 'Z' || text[pos] == 'z') {
        ++pos;
    } else if (text[pos] == '+' || text[pos] == '-') {
        int sign = text[pos] == '-' ? -1 : 1;
        ++pos;
        int oh, om;
        if (!readDigits(text, pos, 2, oh)) return std::nullopt;
        if (pos < text.size() && text[pos] == ':') ++pos;
        if (!readDigits(text, pos, 2, om) || oh > 23 || om > 59) return std::nullopt;
        offsetMinutes = sign * (oh * 60 + om);
    } else {
        return std::nullopt;
    }
    if (pos != text.size()) return std::nullopt;
    const year_month_day ymd{year(y), month(static_cast<unsigned>(mo)),
                             day(static_cast<unsigned>(d))};
    if (!ymd.ok() || h > 23 || mi > 59 || s > 59) return std::nullopt;
    auto point = sys_days(ymd) + hours(h) + minutes(mi) + seconds(s) + fraction -
                 minutes(offsetMinutes);
    return time_point_cast<system_clock::duration>(point);
}

}  // namespace platform
