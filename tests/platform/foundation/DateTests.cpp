#include "platform/foundation/Date.hpp"

#include <cmath>

#include <gtest/gtest.h>

namespace {

using namespace platform;
using namespace std::chrono;

TEST(Date, FormatsUtcWithMilliseconds) {
    const Date date = sys_days(year(2026) / 12 / 9) + hours(20) + minutes(9) + seconds(26) +
                      milliseconds(123) + microseconds(999);
    EXPECT_EQ(iso8601String(date), "2026-12-09T20:09:26.123Z");
    EXPECT_EQ(iso8601String(date, false), "2026-12-09T20:09:26Z");
    EXPECT_EQ(iso8601String(Date{}), "1970-01-01T00:00:00.000Z");
    const Date before1970 = Date{} - milliseconds(1);
    EXPECT_EQ(iso8601String(before1970), "1969-12-31T23:59:59.999Z");
}

TEST(Date, RoundTripAtMillisecondPrecision) {
    const Date now = platform::now();
    auto back = parseISO8601(iso8601String(now));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, floor<milliseconds>(now));
}

struct ParseCase {
    const char* text;
    const char* utc;  // nullptr: rejected
};

const ParseCase kParse[] = {
    {"2026-12-09T20:09:26Z", "2026-12-09T20:09:26.000Z"},
    {"2026-12-09T20:09:26.5Z", "2026-12-09T20:09:26.500Z"},
    {"2026-12-09T20:09:26.123456789Z", "2026-12-09T20:09:26.123Z"},
    {"2026-12-09T21:09:26.123+01:00", "2026-12-09T20:09:26.123Z"},
    {"2026-12-09T15:39:26-0430", "2026-12-09T20:09:26.000Z"},
    {"2026-12-09 20:09:26z", "2026-12-09T20:09:26.000Z"},
    {"2024-02-29T00:00:00Z", "2024-02-29T00:00:00.000Z"},
    {"2025-02-29T00:00:00Z", nullptr},
    {"2026-13-01T00:00:00Z", nullptr},
    {"2026-12-09T24:00:00Z", nullptr},
    {"2026-12-09T20:09:26", nullptr},
    {"2026-12-09T20:09:26.Z", nullptr},
    {"2026-12-09T20:09:26Z trailing", nullptr},
    {"26-12-09T20:09:26Z", nullptr},
    {"", nullptr},
};

TEST(Date, ParsesAndRejects) {
    for (const auto& c : kParse) {
        auto date = parseISO8601(c.text);
        if (c.utc) {
            ASSERT_TRUE(date.has_value()) << c.text;
            EXPECT_EQ(iso8601String(*date), c.utc) << c.text;
        } else {
            EXPECT_FALSE(date.has_value()) << c.text;
        }
    }
}

TEST(Date, SecondsArithmetic) {
    const Date start = dateFromSecondsSince1970(1000.25);
    EXPECT_DOUBLE_EQ(secondsSince1970(start), 1000.25);
    EXPECT_DOUBLE_EQ(secondsSince(start, addingSeconds(start, 6.5)), 6.5);
    EXPECT_LT(secondsSinceNow(addingSeconds(platform::now(), -5)), -4.9);
    // Out of the clock's range: held at its edge, not wrapped around.
    EXPECT_GT(dateFromSecondsSince1970(1e300), dateFromSecondsSince1970(1e9));
    EXPECT_LT(dateFromSecondsSince1970(-INFINITY), Date{});
    EXPECT_EQ(dateFromSecondsSince1970(NAN), Date{});
    EXPECT_EQ(addingSeconds(start, NAN), start);
}

TEST(Date, SecondsSince2001CountFromTheReferenceDate) {
    // 2001-01-01T00:00:00Z is 978307200 s after 1970.
    EXPECT_EQ(secondsSince2001(*parseISO8601("2001-01-01T00:00:00Z")), 0.0);
    EXPECT_EQ(secondsSince2001(*parseISO8601("2001-01-02T00:00:01.5Z")), 86401.5);
    EXPECT_EQ(secondsSince2001(*parseISO8601("2000-12-31T23:59:59Z")), -1.0);
    EXPECT_EQ(iso8601String(dateFromSecondsSince2001(60.25)), "2001-01-01T00:01:00.250Z");
    EXPECT_EQ(dateDescription(dateFromSecondsSince2001(60.75)), "2001-01-01 00:01:00 +0000");
    const double before = currentAbsoluteTime();
    EXPECT_NEAR(before, secondsSince1970(platform::now()) - 978307200.0, 1.0);
}

}  // namespace
