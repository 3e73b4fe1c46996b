#include "platform/foundation/UUID.hpp"

#include <regex>
#include <unordered_set>

#include <gtest/gtest.h>

namespace {

using platform::UUID;

TEST(UUID, UppercaseVersion4Text) {
    const std::regex form("^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$");
    for (int i = 0; i < 200; ++i) {
        const std::string text = UUID().uuidString();
        EXPECT_TRUE(std::regex_match(text, form)) << text;
    }
}

TEST(UUID, FreshOnesDiffer) {
    std::unordered_set<UUID> seen;
    for (int i = 0; i < 10000; ++i) EXPECT_TRUE(seen.insert(UUID()).second);
}

TEST(UUID, TextRoundTripAndRejects) {
    const UUID id;
    auto back = UUID::fromString(id.uuidString());
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, id);
    auto lower = UUID::fromString("e621e1f8-c36c-495a-93fc-0c247a3e6e5f");
    ASSERT_TRUE(lower.has_value());
    EXPECT_EQ(lower->uuidString(), "E621E1F8-C36C-495A-93FC-0C247A3E6E5F");
    for (const char* bad : {"", "E621E1F8C36C495A93FC0C247A3E6E5F", "E621E1F8-C36C-495A-93FC-0C247A3E6E5",
                            "G621E1F8-C36C-495A-93FC-0C247A3E6E5F", "E621E1F8-C36C-495A-93FC_0C247A3E6E5F",
                            "E621E1F8-C36C-495A-93FC-0C247A3E6E5F0"})
        EXPECT_FALSE(UUID::fromString(bad).has_value()) << bad;
}

}  // namespace
