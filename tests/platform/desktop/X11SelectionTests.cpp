#include <gtest/gtest.h>

#include <unistd.h>

#include "platform/desktop/X11Selection.hpp"
#include "platform/desktop/X11Workspace.hpp"
#include "platform/foundation/UniqueFd.hpp"

using namespace platform::desktop;

namespace {

std::optional<std::vector<SelectionData>> decode(const std::string& wire) {
    auto pipe = platform::openPipe();
    EXPECT_TRUE(pipe);
    if (!pipe) return std::nullopt;
    EXPECT_EQ(::write(pipe->writeEnd.get(), wire.data(), wire.size()), static_cast<ssize_t>(wire.size()));
    pipe->writeEnd.reset();
    return decodeForms(pipe->readEnd.get());
}

TEST(SelectionForms, RoundTripThroughTheHelpersInput) {
    std::vector<SelectionData> forms = textForms("canción 👍\nsegunda línea");
    forms.push_back({"image/png", "image/png", 8, {0, 1, 2, '\n', 255}});
    forms.push_back({"x-special/numbers", "INTEGER", 32, {1, 0, 0, 0, 2, 0, 0, 0}});
    EXPECT_EQ(decode(encodeForms(forms)), forms);
    EXPECT_EQ(decode(encodeForms({})), std::vector<SelectionData>{});
}

TEST(SelectionForms, MalformedInputIsRefused) {
    const char* cases[] = {
        "",                                   // no end
        "UTF8_STRING\nUTF8_STRING\n8\n5\nab",  // bytes cut short
        "UTF8_STRING\nUTF8_STRING\n7\n1\na\n",  // no such item format
        "UTF8_STRING\nUTF8_STRING\n8\nmany\n",  // no count
        "UTF8_STRING\nUTF8_STRING\n8\n99999999999\n",  // beyond the size limit
    };
    for (const char* wire : cases) EXPECT_EQ(decode(wire), std::nullopt) << wire;
}

TEST(SelectionForms, TextIsOfferedUnderEveryTextNameAndLatin1WhereItMustBe) {
    const auto forms = textForms("añ👍");
    std::vector<std::string> targets;
    for (const auto& f : forms) targets.push_back(f.target);
    EXPECT_EQ(targets, (std::vector<std::string>{"UTF8_STRING", "text/plain;charset=utf-8", "text/plain", "STRING",
                                                 "TEXT"}));
    EXPECT_EQ(forms[3].bytes, (std::vector<unsigned char>{'a', 0xF1, '?'}));
    EXPECT_TRUE(isMetaTarget("TARGETS"));
    EXPECT_TRUE(isMetaTarget("MULTIPLE"));
    EXPECT_FALSE(isMetaTarget("text/html"));
}

TEST(Terminals, KnownTerminalClassesAreRecognised) {
    EXPECT_TRUE(isTerminalClass("gnome-terminal-server", "Gnome-terminal"));
    EXPECT_TRUE(isTerminalClass("xterm", "XTerm"));
    EXPECT_TRUE(isTerminalClass("konsole", "konsole"));
    EXPECT_TRUE(isTerminalClass("Alacritty", "Alacritty"));
    EXPECT_FALSE(isTerminalClass("campo-qt", "campo-qt"));
    EXPECT_FALSE(isTerminalClass("Navigator", "firefox"));
}

}  // namespace
