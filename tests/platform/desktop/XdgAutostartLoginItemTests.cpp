#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/desktop/DesktopError.hpp"
#include "platform/desktop/XdgAutostartLoginItem.hpp"
#include "tests/support/ReadFile.hpp"
#include "tests/support/TemporaryFolder.hpp"

using platform::desktop::DesktopError;
using platform::desktop::XdgAutostartLoginItem;
using parlox::testing::readFile;
using parlox::testing::TemporaryFolder;

namespace {

// Points XDG_CONFIG_HOME at a fresh folder for one test.
class LoginItemTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) saved_ = old;
        ::setenv("XDG_CONFIG_HOME", folder_.path().c_str(), 1);
    }
    void TearDown() override {
        if (saved_) ::setenv("XDG_CONFIG_HOME", saved_->c_str(), 1);
        else ::unsetenv("XDG_CONFIG_HOME");
    }
    TemporaryFolder folder_;
    std::optional<std::string> saved_;
};

TEST_F(LoginItemTest, EnablingWritesAnAutostartEntryAndDisablingRemovesIt) {
    XdgAutostartLoginItem item("/opt/Parlox 1/parlox");
    EXPECT_EQ(XdgAutostartLoginItem::entryPath(), folder_ / "autostart/parlox.desktop");
    EXPECT_FALSE(item.isEnabled());
    item.setEnabled(true);
    EXPECT_TRUE(item.isEnabled());
    const std::string entry = readFile(folder_ / "autostart/parlox.desktop");
    EXPECT_NE(entry.find("[Desktop Entry]\nType=Application\n"), std::string::npos);
    EXPECT_NE(entry.find("\nExec=\"/opt/Parlox 1/parlox\"\n"), std::string::npos) << entry;
    item.setEnabled(false);
    EXPECT_FALSE(item.isEnabled());
    item.setEnabled(false);  // already off
    EXPECT_FALSE(std::filesystem::exists(folder_ / "autostart/parlox.desktop"));
}

TEST_F(LoginItemTest, ExecLineEscapesWhatTheEntryFormatReserves) {
    XdgAutostartLoginItem item("/tmp/a\"b$c%d\\e/parlox");
    item.setEnabled(true);
    const std::string entry = readFile(folder_ / "autostart/parlox.desktop");
    EXPECT_NE(entry.find("\nExec=\"/tmp/a\\\\\"b\\\\$c%%d\\\\\\\\e/parlox\"\n"), std::string::npos) << entry;
}

TEST_F(LoginItemTest, EntrySwitchedOffByTheDesktopReadsAsDisabled) {
    struct Case {
        const char* entry;
        bool enabled;
    };
    const Case cases[] = {
        {"[Desktop Entry]\nExec=parlox\n", true},
        {"[Desktop Entry]\nExec=parlox\nHidden=true\n", false},
        {"[Desktop Entry]\nExec=parlox\nHidden = true\n", false},
        {"[Desktop Entry]\nExec=parlox\nX-GNOME-Autostart-enabled=false\n", false},
        {"[Desktop Entry]\nExec=parlox\nHidden=false\n", true},
        {"[Desktop Entry]\nExec=parlox\n[Desktop Action x]\nHidden=true\n", true},
    };
    XdgAutostartLoginItem item("/usr/bin/parlox");
    for (const auto& c : cases) {
        folder_.writeFile("autostart/parlox.desktop", c.entry);
        EXPECT_EQ(item.isEnabled(), c.enabled) << c.entry;
    }
}

TEST_F(LoginItemTest, UnwritablePlaceThrowsAndStaysDisabled) {
    // A file where the autostart folder should be: root ignores permissions, not this.
    folder_.writeFile("autostart", "not a folder");
    XdgAutostartLoginItem item("/usr/bin/parlox");
    try {
        item.setEnabled(true);
        FAIL() << "an entry under a file was accepted";
    } catch (const DesktopError& e) {
        EXPECT_EQ(e.kind(), DesktopError::Kind::fileWriteFailed);
    }
    EXPECT_FALSE(item.isEnabled());
}

}  // namespace
