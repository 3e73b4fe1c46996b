#include <gtest/gtest.h>

#include <stdlib.h>

#include "platform/desktop/DesktopError.hpp"
#include "platform/desktop/XdgApplicationMenuEntry.hpp"
#include "platform/desktop/XdgAutostartLoginItem.hpp"
#include "tests/platform/desktop/DesktopLauncher.hpp"
#include "tests/support/ConfigFolder.hpp"
#include "tests/support/ReadFile.hpp"

using platform::desktop::DesktopError;
using platform::desktop::XdgApplicationMenuEntry;
using parlox::testing::readFile;

namespace {

// Each test on a fresh XDG_DATA_HOME.
class MenuEntryTest : public ::testing::Test {
protected:
    parlox::testing::DataFolder folder_;
};

// The desktop's launcher starts what the menu entry names, as a start by
// hand: without the mark of a login launch; also at paths with characters
// the entry format or the shell reserve.
TEST_F(MenuEntryTest, TheEntryIsInTheApplicationsFolderAndStartsTheProgramByHand) {
    const char* const names[] = {
        "opt/Parlox 1/pro$be \"1\" `x`.sh",
        "opt/100%/parlox",  // a field code's sign
        "opt/back\\slash 'quote'/parlox",
    };
    // Not inherited from whoever runs the tests.
    ::unsetenv(platform::desktop::XdgAutostartLoginItem::launchMarker);
    for (const char* name : names) {
        XdgApplicationMenuEntry(parlox::testing::writeLaunchReporter(folder_, name)).install();
        EXPECT_EQ(XdgApplicationMenuEntry::entryPath(), folder_ / "applications/parlox.desktop");
        const std::string text = readFile(folder_ / "applications/parlox.desktop");
        EXPECT_EQ(text.rfind("[Desktop Entry]\nType=Application\nName=Parlox\n", 0), 0u) << text;
        EXPECT_NE(text.find("\nTerminal=false\n"), std::string::npos) << text;

        const auto result = parlox::testing::launchDesktopEntry(XdgApplicationMenuEntry::entryPath());
        EXPECT_EQ(result.exitCode, 0) << name << ": " << result.output;
        EXPECT_EQ(result.output, "marker= arguments=0\n") << name << "\n" << text;
    }
}

TEST_F(MenuEntryTest, AnEntryForThisProgramIsKeptAndOneForAnotherIsReplaced) {
    XdgApplicationMenuEntry("/usr/bin/parlox").install();
    // The user hid it from the menu: a later start leaves it so.
    const std::string edited = readFile(folder_ / "applications/parlox.desktop") + "NoDisplay=true\n";
    folder_.writeFile("applications/parlox.desktop", edited);
    XdgApplicationMenuEntry("/usr/bin/parlox").install();
    EXPECT_EQ(readFile(folder_ / "applications/parlox.desktop"), edited);
    // The program moved: the entry follows it.
    XdgApplicationMenuEntry("/opt/parlox/parlox").install();
    const std::string moved = readFile(folder_ / "applications/parlox.desktop");
    EXPECT_NE(moved.find("\nExec=\"/opt/parlox/parlox\"\n"), std::string::npos) << moved;
    EXPECT_EQ(moved.find("/usr/bin/parlox"), std::string::npos) << moved;
}

TEST_F(MenuEntryTest, AnUnwritablePlaceThrows) {
    // A file where the applications folder should be: root ignores permissions, not this.
    folder_.writeFile("applications", "not a folder");
    try {
        XdgApplicationMenuEntry("/usr/bin/parlox").install();
        FAIL() << "an entry under a file was accepted";
    } catch (const DesktopError& e) {
        EXPECT_EQ(e.kind(), DesktopError::Kind::fileWriteFailed);
    }
}

}  // namespace
