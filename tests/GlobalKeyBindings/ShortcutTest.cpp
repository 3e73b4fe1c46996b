#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "Fixture.hpp"
#include "GlobalKeyBindings/ConflictPolicy.hpp"
#include "GlobalKeyBindings/Localization.hpp"
#include "GlobalKeyBindings/SpecialKey.hpp"
#include "platform/input/CarbonModifiers.hpp"

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

TEST(ModifierFlags, NamesComeInThisDesktopsOrder) {
    EXPECT_EQ((ModifierFlags::command | ModifierFlags::shift | ModifierFlags::option | ModifierFlags::control)
                  .presentableDescription(),
              "Ctrl+Alt+Mayús+Super+");
    // No key here gives the function modifier, so it is not named.
    EXPECT_EQ((ModifierFlags::command | ModifierFlags::function).presentableDescription(), "Super+");
    EXPECT_EQ(ModifierFlags::function.presentableDescription(), "");
    EXPECT_EQ((ModifierFlags::capsLock | ModifierFlags::numericPad).presentableDescription(), "");
    EXPECT_EQ(ModifierFlags().presentableDescription(), "");
}

TEST(ModifierFlags, EachNamedModifierIsTheOneTheDesktopGrabs) {
    namespace x11mask = platform::input::x11mask;
    struct Row {
        ModifierFlags flag;
        std::uint16_t grabbed;
        const char* name;
    };
    const Row rows[] = {{ModifierFlags::control, x11mask::control, "Ctrl+"},
                        {ModifierFlags::option, x11mask::mod1, "Alt+"},
                        {ModifierFlags::shift, x11mask::shift, "Mayús+"},
                        {ModifierFlags::command, x11mask::mod4, "Super+"},
                        {ModifierFlags::function, 0, ""}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(platform::input::x11ModifiersFromCarbon(static_cast<int>(row.flag.carbon())), row.grabbed);
        EXPECT_EQ(row.flag.presentableDescription(), row.name);
    }
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

TEST(SpecialKeys, NamesAndMenuEquivalents) {
    EXPECT_EQ(specialKey(Key::return_)->presentableDescription, "Intro");
    EXPECT_EQ(specialKey(Key::return_)->menuItemKeyEquivalent, "↩");
    EXPECT_EQ(specialKey(Key::f1)->menuItemKeyEquivalent, "\uF704");
    EXPECT_EQ(specialKey(Key::f20)->menuItemKeyEquivalent, "\uF717");
    EXPECT_EQ(specialKey(Key::f13)->presentableDescription, "F13");
    EXPECT_EQ(specialKey(Key::keypad5)->presentableDescription, "Num 5");
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
    // What the user reads is what fires the shortcut here: Command is held
    // with the Super key, and the key's name is that of the PC keyboard.
    struct Row {
        Shortcut shortcut;
        const char* text;
    };
    const ModifierFlags plain;
    const ModifierFlags control = ModifierFlags::control, option = ModifierFlags::option,
                        shift = ModifierFlags::shift, command = ModifierFlags::command;
    const Row rows[] = {
        {kOptionSpace, "Alt+Espacio"},
        {Shortcut(Key::k, control | option), "Ctrl+Alt+K"},
        {Shortcut(Key::k, command), "Super+K"},
        {Shortcut(Key::q, control), "Ctrl+Q"},
        {Shortcut(Key::a, command | shift), "Mayús+Super+A"},
        {Shortcut(Key::a, shift | control), "Ctrl+Mayús+A"},
        {Shortcut(Key::d, command | shift | option | control), "Ctrl+Alt+Mayús+Super+D"},
        {Shortcut(Key::space, control | shift), "Ctrl+Mayús+Espacio"},
        {Shortcut(Key::one, option), "Alt+1"},
        {Shortcut(Key::slash, control), "Ctrl+/"},
        {Shortcut(Key::f5, plain), "F5"},
        {Shortcut(Key::f12, shift), "Mayús+F12"},
        {Shortcut(Key::return_, option), "Alt+Intro"},
        {Shortcut(Key::keypadEnter, control), "Ctrl+Num Intro"},
        {Shortcut(Key::escape, control), "Ctrl+Esc"},
        {Shortcut(Key::tab, option), "Alt+Tab"},
        {Shortcut(Key::delete_, control), "Ctrl+Retroceso"},
        {Shortcut(Key::deleteForward, control | option), "Ctrl+Alt+Supr"},
        {Shortcut(Key::help, shift), "Mayús+Insert"},
        {Shortcut(Key::home, control), "Ctrl+Inicio"},
        {Shortcut(Key::end, control), "Ctrl+Fin"},
        {Shortcut(Key::pageUp, command), "Super+RePág"},
        {Shortcut(Key::pageDown, command), "Super+AvPág"},
        {Shortcut(Key::upArrow, option), "Alt+Arriba"},
        {Shortcut(Key::downArrow, option), "Alt+Abajo"},
        {Shortcut(Key::leftArrow, control | command), "Ctrl+Super+Izquierda"},
        {Shortcut(Key::rightArrow, control | shift), "Ctrl+Mayús+Derecha"},
        {Shortcut(Key::keypad0, option), "Alt+Num 0"},
        {Shortcut(Key::keypadPlus, plain), "Num +"},
        {Shortcut(Key::keypadClear, control), "Ctrl+Bloq Num"},
        {Shortcut(Key::f3, command | ModifierFlags::function), "Super+F3"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(row.shortcut.description(), row.text);
        EXPECT_EQ(row.shortcut.presentableDescription(), row.text);
    }

    layout->setCharacters(Key::q.rawValue, std::string("ab"));
    layout->setCharacters(Key::w.rawValue, std::nullopt);
    const Shortcut several(Key::q, ModifierFlags::control);
    const Shortcut none(Key::w, ModifierFlags());
    EXPECT_EQ(several.description(), "Ctrl+\uFFFD");
    EXPECT_EQ(none.description(), "\uFFFD");
    EXPECT_FALSE(several.menuItemKeyEquivalent());
    EXPECT_FALSE(none.menuItemKeyEquivalent());
    layout->setCharacters(Key::e.rawValue, std::string("é"));
    EXPECT_EQ(Shortcut(Key::e, ModifierFlags()).description(), "É");
}

TEST_F(BindingsTest, NoDescriptionNamesAKeyOfTheOtherDesktop) {
    // Every known key under every combination of the five modifiers.
    for (int code = 0; code < 128; ++code) {
        for (int bits = 0; bits < 32; ++bits) {
            ModifierFlags flags;
            if (bits & 1) flags = flags | ModifierFlags::control;
            if (bits & 2) flags = flags | ModifierFlags::option;
            if (bits & 4) flags = flags | ModifierFlags::shift;
            if (bits & 8) flags = flags | ModifierFlags::command;
            if (bits & 16) flags = flags | ModifierFlags::function;
            const std::string text = Shortcut(Key(code), flags).description();
            for (const char* glyph :
                 {"⌘", "⌥", "⌃", "⇧", "\U0001F310", "↩", "⌫", "⌦", "⎋", "⇥", "\u20E3", "\u20DD"})
                EXPECT_EQ(text.find(glyph), std::string::npos) << code << " " << bits << ": " << text;
        }
    }
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
