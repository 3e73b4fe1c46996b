#include <gtest/gtest.h>

#include "app/System/LoginItem.hpp"
#include "platform/desktop/XdgAutostartLoginItem.hpp"
#include "platform/desktop/fake/FakeLoginItem.hpp"
#include "platform/foundation/fake/InMemoryUserDefaults.hpp"
#include "tests/app/Dictation/DictationFixture.hpp"
#include "tests/support/ConfigFolder.hpp"

namespace {

using Parlox::LoginItem;

class LoginItemTest : public ::testing::Test {
protected:
    void SetUp() override { previous = platform::UserDefaults::setStandard(defaults); }
    void TearDown() override { platform::UserDefaults::setStandard(previous); }

    std::shared_ptr<platform::InMemoryUserDefaults> defaults = std::make_shared<platform::InMemoryUserDefaults>();
    std::shared_ptr<platform::UserDefaults> previous;
    platform::desktop::FakeLoginItem item;
    dictation_test::LogCapture log;
};

TEST_F(LoginItemTest, OnlyTheFirstRunRegisters) {
    struct Case {
        std::optional<bool> asked;
        bool enabledBefore;
        bool enabledAfter;
        int changes;
    };
    const Case cases[] = {
        {std::nullopt, false, true, 1},
        {false, false, true, 1},
        // A later launch: the user's choice stands.
        {true, false, false, 0},
        {true, true, true, 0},
    };
    for (const Case& c : cases) {
        if (c.asked) defaults->set("hasAskedForLoginItem", *c.asked);
        else defaults->remove("hasAskedForLoginItem");
        item = {};
        item.enabled = c.enabledBefore;
        LoginItem::enableOnFirstRun(item);
        EXPECT_EQ(item.enabled, c.enabledAfter) << c.asked.value_or(false);
        EXPECT_EQ(item.changes, c.changes) << c.asked.value_or(false);
        EXPECT_EQ(defaults->optionalBool("hasAskedForLoginItem"), true);
        EXPECT_EQ(LoginItem::isEnabled(item), c.enabledAfter);
    }
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(LoginItemTest, ARefusedRegistrationIsLoggedAndNotTriedAgain) {
    item.refuse = true;
    LoginItem::enableOnFirstRun(item);
    EXPECT_FALSE(LoginItem::isEnabled(item));
    EXPECT_EQ(defaults->optionalBool("hasAskedForLoginItem"), true);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"No he podido cambiar el arranque automático: refused by the "
                                                     "desktop: the autostart entry cannot be written"}));
    LoginItem::enableOnFirstRun(item);
    EXPECT_EQ(item.changes, 1);

    // The settings' switch, both ways, never throws.
    LoginItem::setEnabled(item, false);
    EXPECT_EQ(log.lines().size(), 2u);
    item.refuse = false;
    LoginItem::setEnabled(item, true);
    EXPECT_TRUE(LoginItem::isEnabled(item));
    EXPECT_EQ(log.lines().size(), 2u);
}

// On the desktop's own autostart folder.
TEST_F(LoginItemTest, TheAutostartEntryIsWrittenOnceAndTheUsersRemovalKept) {
    parlox::testing::ConfigFolder config;
    platform::desktop::XdgAutostartLoginItem autostart("/usr/bin/parlox");
    const auto entry = config / "autostart/parlox.desktop";

    LoginItem::enableOnFirstRun(autostart);
    EXPECT_TRUE(std::filesystem::exists(entry));
    EXPECT_TRUE(LoginItem::isEnabled(autostart));
    LoginItem::setEnabled(autostart, false);
    EXPECT_FALSE(std::filesystem::exists(entry));
    LoginItem::enableOnFirstRun(autostart);  // the next launch
    EXPECT_FALSE(std::filesystem::exists(entry));

    // A file where the folder should be (permissions do not stop root).
    defaults->remove("hasAskedForLoginItem");
    std::filesystem::remove(config / "autostart");
    config.writeFile("autostart", "");
    LoginItem::enableOnFirstRun(autostart);
    EXPECT_FALSE(LoginItem::isEnabled(autostart));
    EXPECT_EQ(defaults->optionalBool("hasAskedForLoginItem"), true);
    EXPECT_TRUE(log.containsPrefix("No he podido cambiar el arranque automático: could not write the file: "));
}

}  // namespace
