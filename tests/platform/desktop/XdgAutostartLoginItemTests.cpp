#include <gtest/gtest.h>

#include <stdlib.h>

#include "platform/desktop/DesktopError.hpp"
#include "platform/desktop/XdgAutostartLoginItem.hpp"
#include "tests/platform/desktop/DesktopLauncher.hpp"
#include "tests/support/ConfigFolder.hpp"
#include "tests/support/ReadFile.hpp"

using platform::desktop::DesktopError;
using platform::desktop::XdgAutostartLoginItem;
using parlox::testing::readFile;

namespace {

// Each test on a fresh XDG_CONFIG_HOME.
class LoginItemTest : public ::testing::Test {
protected:
    parlox::testing::ConfigFolder folder_;
};

TEST_F(LoginItemTest, EnablingWritesAnAutostartEntryAndDisablingRemovesIt) {
    XdgAutostartLoginItem item("/opt/Parlox 1/parlox");
    EXPECT_EQ(XdgAutostartLoginItem::entryPath(), folder_ / "autostart/parlox.desktop");
    EXPECT_FALSE(item.isEnabled());
    item.setEnabled(true);
    EXPECT_TRUE(item.isEnabled());
    const std::string entry = readFile(folder_ / "autostart/parlox.desktop");
    EXPECT_NE(entry.find("[Desktop Entry]\nType=Application\n"), std::string::npos);
    EXPECT_NE(entry.find("\nExec=env PARLOX_LAUNCHED_AT_LOGIN=1 \"/opt/Parlox 1/parlox\"\n"), std::string::npos)
        << entry;
    item.setEnabled(false);
    EXPECT_FALSE(item.isEnabled());
    item.setEnabled(false);  // already off
    EXPECT_FALSE(std::filesystem::exists(folder_ / "autostart/parlox.desktop"));
}

TEST_F(LoginItemTest, ExecLineEscapesWhatTheEntryFormatReserves) {
    XdgAutostartLoginItem item("/tmp/a\"b$c%d\\e/parlox");
    item.setEnabled(true);
    const std::string entry = readFile(folder_ / "autostart/parlox.desktop");
    EXPECT_NE(entry.find("\nExec=env PARLOX_LAUNCHED_AT_LOGIN=1 \"/tmp/a\\\\\"b\\\\$c%%d\\\\\\\\e/parlox\"\n"),
              std::string::npos)
        << entry;
}

// A desktop's launcher starts what the entry says: the program, at paths
// with characters the entry format, the shell or the launch line reserve,
// with the login marker set.
TEST_F(LoginItemTest, ADesktopLauncherStartsTheProgramMarkedAsALoginLaunch) {
    const char* const names[] = {
        "bin dir/pro$be \"1\" 100%.sh",
        "opt/a=b/parlox",              // looks like a variable to set
        "opt/line\nbreak\ttab/parlox",  // control characters
        "opt/back\\slash 'quote' `tick`/parlox",
    };
    // Not inherited from whoever runs the tests.
    ::unsetenv(XdgAutostartLoginItem::launchMarker);
    for (const char* name : names) {
        XdgAutostartLoginItem item(parlox::testing::writeLaunchReporter(folder_, name));
        item.setEnabled(true);
        EXPECT_TRUE(item.isEnabled()) << name;

        const auto result = parlox::testing::launchDesktopEntry(XdgAutostartLoginItem::entryPath());
        EXPECT_EQ(result.exitCode, 0) << name << ": " << result.output;
        EXPECT_EQ(result.output, "marker=1 arguments=0\n") << name << "\n" << readFile(XdgAutostartLoginItem::entryPath());
    }
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
