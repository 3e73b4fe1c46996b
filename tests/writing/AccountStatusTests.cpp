#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "TestSupport.hpp"
#include "writing/AccountStatus.hpp"

using namespace ParloxCore;
using namespace writing_test;

TEST(AccountStatus, ParseCodex) {
    EXPECT_EQ(AccountStatus::parseCodex(0, "Not Logged In"), AccountStatus::loggedOut());
    EXPECT_EQ(AccountStatus::parseCodex(1, "not logged in"), AccountStatus::loggedOut());
    EXPECT_EQ(AccountStatus::parseCodex(0, "Logged in using ChatGPT"), AccountStatus::loggedIn());
    EXPECT_EQ(AccountStatus::parseCodex(1, "Logged in using ChatGPT"), AccountStatus::unknown());
    EXPECT_EQ(AccountStatus::parseCodex(0, "???"), AccountStatus::unknown());
}

TEST(AccountStatus, ParseClaude) {
    struct Case {
        std::string output;
        AccountStatus expected;
    };
    const Case cases[] = {
        {"checking...\n{\"loggedIn\": true}", AccountStatus::loggedIn()},
        {"{\"loggedIn\": true, \"subscriptionType\": \"FREE\"}", AccountStatus::planWithoutAccess("free")},
        {"{\"loggedIn\": true, \"subscriptionType\": \"pro\"}", AccountStatus::loggedIn()},
        {"{\"loggedIn\": true, \"subscriptionType\": 3}", AccountStatus::loggedIn()},
        {"{\"loggedIn\": false, \"subscriptionType\": \"free\"}", AccountStatus::loggedOut()},
        {"{\"loggedIn\": \"yes\"}", AccountStatus::unknown()},
        {"{}", AccountStatus::unknown()},
        {"{\"loggedIn\": true} trailing", AccountStatus::unknown()},
        {"no json", AccountStatus::unknown()},
    };
    for (const auto& c : cases) EXPECT_EQ(AccountStatus::parseClaude(c.output), c.expected) << c.output;
}

TEST(AccountStatus, ProbesRunTheToolsStatusCommands) {
    Sandbox box;
    box.scenario("ok");
    EXPECT_EQ(AccountStatus::codex(fixture("codex")), AccountStatus::loggedIn());
    EXPECT_EQ(lines(readFile(box.record() / "args")), (std::vector<std::string>{"login", "status"}));
    EXPECT_EQ(AccountStatus::claude(fixture("claude")), AccountStatus::loggedIn());
    EXPECT_EQ(lines(readFile(box.record() / "args")), (std::vector<std::string>{"auth", "status", "--json"}));
    box.scenario("not-logged-in");
    EXPECT_EQ(AccountStatus::codex(fixture("codex")), AccountStatus::loggedOut());
    EXPECT_EQ(AccountStatus::claude(fixture("claude")), AccountStatus::loggedOut());
    box.scenario("free-plan");
    EXPECT_EQ(AccountStatus::claude(fixture("claude")), AccountStatus::planWithoutAccess("free"));
    EXPECT_EQ(AccountStatus::codex(box.root() / "missing"), AccountStatus::unknown());
    EXPECT_TRUE(box.leftovers().empty());
}

TEST(AccountStatus, AHangingToolIsCutOff) {
    Sandbox box;
    box.scenario("hang");
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(AccountStatus::codex(fixture("codex"), 0.3), AccountStatus::unknown());
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 20.0);
    EXPECT_TRUE(box.leftovers().empty());
}
