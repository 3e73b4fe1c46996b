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

// Only an entry as Parlox left it, or one that starts a program that is
// gone, is written anew for the program running now; whatever else the
// user changed stays.
TEST_F(MenuEntryTest, WhatTheUserChangedStaysUnlessItsProgramIsGone) {
    const auto installed = parlox::testing::writeLaunchReporter(folder_, "bin/parlox").string();
    const auto running = parlox::testing::writeLaunchReporter(folder_, "opt/parlox/parlox").string();
    const std::string gone = (folder_ / "old/parlox").string();
    const std::string quoted = "\"" + installed + "\"";
    const std::string entry = "[Desktop Entry]\nType=Application\nName=Parlox\n";
    struct Case {
        const char* name;
        std::string writtenFor;  // the entry Parlox wrote for that program, then `text` added; else `text` alone
        std::string text;
        bool rewritten;
    };
    const Case cases[] = {
        {"hidden from the menu", running, "NoDisplay=true\n", false},
        {"as written for another program", installed, "", true},
        {"as written for a program that is gone", gone, "", true},
        {"as written for a path with a field code's sign", (folder_ / "old/100%/parlox").string(), "", true},
        {"as written for a path with quotes", (folder_ / "old/a \"b\" $c `d` \\e/parlox").string(), "", true},
        {"hidden, for another program", installed, "NoDisplay=true\n", false},
        {"an argument added", "", entry + "Exec=" + quoted + " --modo-silencioso\n", false},
        {"an environment set first", "", entry + "Exec=env -u GTK_IM_MODULE LANG=es_ES.UTF-8 " + quoted + "\n", false},
        {"started through the shell", "", entry + "Exec=sh -c \"exec " + installed + " --x\"\n", false},
        {"an argument added to a program that is gone", "", entry + "Exec=\"" + gone + "\" --modo-silencioso\n", true},
        {"an environment set for a program that is gone", "", entry + "Exec=env LANG=C \"" + gone + "\"\n", true},
        {"hidden, for a program that is gone", gone, "NoDisplay=true\n", true},
        {"a program by a name no folder has", "", entry + "Exec=parlox-que-no-existe --x\n", true},
        {"no program at all", "", entry + "Comment=sin Exec\n", true},
    };
    const auto path = folder_ / "applications/parlox.desktop";
    // What Parlox writes for `program` where there is no entry.
    auto freshEntry = [&](const std::string& program) {
        std::filesystem::remove(path);
        XdgApplicationMenuEntry(program).install();
        return readFile(path);
    };
    const std::string forRunning = freshEntry(running);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string text = c.writtenFor.empty() ? c.text : freshEntry(c.writtenFor) + c.text;
        folder_.writeFile("applications/parlox.desktop", text);
        XdgApplicationMenuEntry(running).install();
        EXPECT_EQ(readFile(path), c.rewritten ? forRunning : text);
    }
}

// The entry may be a link the user made to a file kept elsewhere: the link
// stays, and what it leads to follows the same rules.
TEST_F(MenuEntryTest, ALinkedEntryStaysALink) {
    const auto running = parlox::testing::writeLaunchReporter(folder_, "opt/parlox/parlox").string();
    const auto link = folder_ / "applications/parlox.desktop";
    const auto kept = folder_ / "dotfiles/parlox.desktop";
    std::filesystem::create_directories(link.parent_path());
    std::filesystem::create_symlink("../dotfiles/parlox.desktop", link);

    // Its file is gone, its folder is there: the entry is written there.
    std::filesystem::create_directories(kept.parent_path());
    XdgApplicationMenuEntry(running).install();
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_NE(readFile(kept).find("\nExec=\"" + running + "\"\n"), std::string::npos);

    // Changed by the user: it stays, also when another program starts.
    const std::string edited = readFile(kept) + "NoDisplay=true\n";
    folder_.writeFile("dotfiles/parlox.desktop", edited);
    XdgApplicationMenuEntry("/usr/bin/parlox").install();
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(readFile(kept), edited);

    // As written for a program that moved: written anew where the link leads.
    std::filesystem::remove(kept);
    XdgApplicationMenuEntry("/usr/bin/parlox").install();
    XdgApplicationMenuEntry(running).install();
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_NE(readFile(kept).find("\nExec=\"" + running + "\"\n"), std::string::npos);

    // Its folder is gone too: nothing is made there, the link stays, and the failure is said.
    std::filesystem::remove_all(kept.parent_path());
    try {
        XdgApplicationMenuEntry(running).install();
        FAIL() << "an entry was written through a link into a folder that is gone";
    } catch (const DesktopError& e) {
        EXPECT_EQ(e.kind(), DesktopError::Kind::fileWriteFailed);
    }
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_FALSE(std::filesystem::exists(kept.parent_path()));
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
