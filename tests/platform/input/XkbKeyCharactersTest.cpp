#include <gtest/gtest.h>

#include <xkbcommon/xkbcommon.h>

#include <memory>

#include "platform/input/XkbKeyCharacters.hpp"

namespace platform::input {
namespace {

// Keymaps compiled from the system's layout files, no display involved.
class XkbKeyCharactersTest : public ::testing::Test {
protected:
    void SetUp() override { context_ = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES); }
    void TearDown() override {
        for (auto* keymap : keymaps_) xkb_keymap_unref(keymap);
        if (context_) xkb_context_unref(context_);
    }
    xkb_keymap* keymap(const char* layouts) {
        xkb_rule_names names{"evdev", "pc105", layouts, "", ""};
        xkb_keymap* map = xkb_keymap_new_from_names(context_, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
        if (map) keymaps_.push_back(map);
        return map;
    }

    xkb_context* context_ = nullptr;
    std::vector<xkb_keymap*> keymaps_;
};

TEST_F(XkbKeyCharactersTest, KeysByPhysicalPosition) {
    auto* us = keymap("us");
    if (!us) GTEST_SKIP() << "no XKB layout files on this system";
    EXPECT_EQ(xkbKeyCharacters(us, 0, 0), "a");
    EXPECT_EQ(xkbKeyCharacters(us, 0, 12), "q");
    EXPECT_EQ(xkbKeyCharacters(us, 0, 49), " ");
    EXPECT_EQ(xkbKeyCharacters(us, 0, 50), "`");
    EXPECT_FALSE(xkbKeyCharacters(us, 0, 122));  // F1 types nothing
    EXPECT_FALSE(xkbKeyCharacters(us, 0, 63));   // no such key
    EXPECT_FALSE(xkbKeyCharacters(nullptr, 0, 0));

    auto* fr = keymap("fr");
    ASSERT_TRUE(fr);
    EXPECT_EQ(xkbKeyCharacters(fr, 0, 12), "a");  // the Q position types "a" on AZERTY
    EXPECT_EQ(xkbKeyCharacters(fr, 0, 0), "q");
}

TEST_F(XkbKeyCharactersTest, NonLatinLayoutsReadThroughTheLatinOne) {
    auto* ruUs = keymap("ru,us");
    if (!ruUs) GTEST_SKIP() << "no XKB layout files on this system";
    EXPECT_EQ(xkbKeyCharacters(ruUs, 0, 0), "a");  // active Russian layout: the US one names it
    EXPECT_EQ(xkbKeyCharacters(ruUs, 1, 0), "a");
    auto* deUs = keymap("de,us");
    ASSERT_TRUE(deUs);
    EXPECT_EQ(xkbKeyCharacters(deUs, 0, 16), "z");  // the active Latin layout wins: QWERTZ
    EXPECT_EQ(xkbKeyCharacters(deUs, 1, 16), "y");
}

}  // namespace
}  // namespace platform::input
