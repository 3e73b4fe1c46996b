#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "Fixture.hpp"
#include "GlobalKeyBindings/ConflictPolicy.hpp"
#include "GlobalKeyBindings/Localization.hpp"
#include "GlobalKeyBindings/SpecialKey.hpp"

namespace GlobalKeyBindings {
namespace {

using testing::BindingsTest;
using testing::kOptionSpace;

TEST(ModifierFlags, CarbonRoundTripKeepsOnlyTheFiveKnownFlags) {
    const auto flags = ModifierFlags::fromCarbon(0x1000 | 0x200);
    EXPECT_EQ(flags.rawValue, 0x60000u);
    EXPECT_EQ(flags.carbon(), 0x1200);
    const auto withLocks = flags | ModifierFlags::capsLock | ModifierFlags::numericPad;
    EXPECT_EQ(withLocks.carbon(), 0x1200);
    EXPECT_EQ(ModifierFlags::fromCarbon(0x20000 | 0x100 | 0x800 | 0x4).carbon(), 0x20000 | 0x100 | 0x800);
}

TEST(ModifierFlags, SymbolsComeInFixedOrder) {
    EXPECT_EQ((ModifierFlags::command | ModifierFlags::function).symbolicRepresentation(),
              "⌘\U0001F310\uFE0E");
    EXPECT_EQ((ModifierFlags::command | ModifierFlags::shift | ModifierFlags::option |
               ModifierFlags::control)
                  .symbolicRepresentation(),
              "⌃⌥⇧⌘");
    EXPECT_EQ(ModifierFlags().symbolicRepresentation(), "");
}

TEST(Key, SetsAndUnknownCodes) {
    EXPECT_EQ(Key::functionKeys().size(), 20u);
    EXPECT_EQ(Key::keysWithSynthesizedFunctionModifier().size(), 31u);
    EXPECT_TRUE(Key::keysWithSynthesizedFunctionModifier().count(Key::leftArrow));
    EXPECT_FALSE(Key::keysWithSynthesizedFunctionModifier().count(Key::space));
    const Key unknown(200);
    EXPECT_EQ(unknown, Key(200));
    EXPECT_FALSE(specialKey(unknown));
}

TEST(SpecialKeys, GlyphsAndMenuEquivalents) {
    EXPECT_EQ(specialKey(Key::return_)->presentableDescription, "↩");
    EXPECT_EQ(specialKey(Key::f1)->menuItemKeyEquivalent, "\uF704");
    EXPECT_EQ(specialKey(Key::f20)->menuItemKeyEquivalent, "\uF717");
    EXPECT_EQ(specialKey(Key::f13)->presentableDescription, "F13");
    EXPECT_EQ(specialKey(Key::keypad5)->presentableDescription, "5\u20E3");
    EXPECT_FALSE(specialKey(Key::keypadEnter)->menuItemKeyEquivalent);
    EXPECT_EQ(specialKey(Key::space)->menuItemKeyEquivalent, " ");
    EXPECT_EQ(localizedString("no_such_text"), "no_such_text");
}

TEST(Shortcut, StoredFormIsExact) {
    EXPECT_EQ(encodeShortcut(kOptionSpace), R"({"carbonKeyCode":49,"carbonModifiers":2048})");
    EXPECT_EQ(decodeShortcut(R"({"carbonModifiers":2048,"carbonKeyCode":49})"), kOptionSpace);
    nlohmann::json json = kOptionSpace;
    EXPECT_EQ(json, nlohmann::json::parse(encodeShortcut(kOptionSpace)));
}

TEST(Shortcut, UndecodableTextsGiveNone) {
    for (const char* text : {R"({"carbonKeyCode":49})", R"({"carbonKeyCode":"49","carbonModifiers":0})",
                             R"({"carbonKeyCode":49.5,"carbonModifiers":0})", R"([49,2048])", "true",
                             "{not json", ""}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(decodeShortcut(text));
    }
}

TEST(Shortcut, StrayModifierBitsAreDropped) {
    const Shortcut dirty(49, 0x800 | 0x10000 | 0x2 | 0x200000);
    EXPECT_EQ(dirty.carbonModifiers, 0x800);
    EXPECT_EQ(dirty, kOptionSpace);
}

TEST(Shortcut, EventsRecordWithoutTheFunctionModifier) {
    auto arrow = Shortcut::fromEvent(
        {KeyEvent::Type::keyDown, Key::upArrow.rawValue, ModifierFlags::function | ModifierFlags::command});
    ASSERT_TRUE(arrow);
    EXPECT_EQ(arrow->carbonModifiers, 0x100);
    EXPECT_FALSE(Shortcut::fromEvent({KeyEvent::Type::flagsChanged, 56, ModifierFlags::shift}));
}

TEST_F(BindingsTest, PresentableDescriptions) {
    EXPECT_EQ(Shortcut(Key::a, ModifierFlags::command | ModifierFlags::shift).description(), "⇧⌘A");
    EXPECT_EQ(kOptionSpace.description(), "⌥Espacio");
    EXPECT_EQ(Shortcut(Key::f5, ModifierFlags()).description(), "F5");
    layout->setCharacters(Key::q.rawValue, std::string("ab"));
    layout->setCharacters(Key::w.rawValue, std::nullopt);
    const Shortcut several(Key::q, ModifierFlags::control);
    const Shortcut none(Key::w, ModifierFlags());
    EXPECT_EQ(several.description(), "⌃\uFFFD");
    EXPECT_EQ(none.description(), "\uFFFD");
    EXPECT_FALSE(several.menuItemKeyEquivalent());
    EXPECT_FALSE(none.menuItemKeyEquivalent());
    layout->setCharacters(Key::e.rawValue, std::string("é"));
    EXPECT_EQ(Shortcut(Key::e, ModifierFlags()).description(), "É");
}

TEST_F(BindingsTest, SystemShortcutsAreChecked) {
    EXPECT_FALSE(kOptionSpace.isTakenBySystem());  // nothing listed
    system->shortcuts = {{49, 0x800 | 0x10000}, {111, 0}, {126, 0x20000 | 0x1000}};
    EXPECT_TRUE(kOptionSpace.isTakenBySystem());
    EXPECT_FALSE(Shortcut(Key::f12, ModifierFlags()).isTakenBySystem());
    EXPECT_TRUE(Shortcut(Key::upArrow, ModifierFlags::control).isTakenBySystem());
    EXPECT_FALSE(Shortcut(Key::space, ModifierFlags::command).isTakenBySystem());
    EXPECT_EQ(Shortcut::system().size(), 3u);
}

TEST(Shortcut, DesktopWithoutAListTakesNothing) {
    platform::input::NoSystemShortcuts none;
    EXPECT_TRUE(none.enabledShortcuts().empty());
}

TEST_F(BindingsTest, MenuItemsMatchDepthFirst) {
    const std::vector<MenuItem> menu{
        {"Archivo", "", {}, {{"Guardar", "s", ModifierFlags::command, {}},
                              {"Más", "", {}, {{"Exportar", "A", ModifierFlags::command, {}}}}}},
        {"Todo", "a", ModifierFlags::command | ModifierFlags::shift, {}},
        {"Salir", "q", ModifierFlags::command, {}},
    };
    const auto* found = Shortcut(Key::a, ModifierFlags::command | ModifierFlags::shift)
                            .menuItemWithMatchingShortcut(menu);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->title, "Exportar");
    found = Shortcut(Key::q, ModifierFlags::command).menuItemWithMatchingShortcut(menu);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->title, "Salir");
    EXPECT_EQ(Shortcut(Key::a, ModifierFlags::command).menuItemWithMatchingShortcut(menu), nullptr);
    EXPECT_EQ(Shortcut(Key::keypadEnter, ModifierFlags()).menuItemWithMatchingShortcut(
                  {{"Intro", "", {}, {}}}),
              nullptr);
}

TEST(ConflictPolicy, NamedPolicies) {
    EXPECT_EQ(ConflictPolicy::defaultPolicy,
              (ConflictPolicy{ConflictBehavior::block, ConflictBehavior::warn, ConflictBehavior::block}));
    EXPECT_EQ(ConflictPolicy(), ConflictPolicy::defaultPolicy);
    const ConflictPolicy a{ConflictBehavior::allow, ConflictBehavior::allow, ConflictBehavior::allow};
    EXPECT_EQ(a, ConflictPolicy::allowAll);
    EXPECT_EQ(std::hash<ConflictPolicy>{}(a), std::hash<ConflictPolicy>{}(ConflictPolicy::allowAll));
    EXPECT_NE(std::hash<ConflictPolicy>{}(a), std::hash<ConflictPolicy>{}(ConflictPolicy::defaultPolicy));
    EXPECT_EQ(sizeof(ConflictBehavior), 1u);
}

}  // namespace
}  // namespace GlobalKeyBindings
