#include "GlobalKeyBindings/SpecialKey.hpp"

#include <unordered_map>

#include "GlobalKeyBindings/Localization.hpp"
#include "platform/foundation/Unicode.hpp"

namespace GlobalKeyBindings {
namespace {

// How a special key is named: a text of the module (by its key) or a fixed
// label, on the keypad or not.
struct Naming {
    std::string text;
    bool localized = false;
    bool keypad = false;
    std::optional<std::string> menuItemKeyEquivalent;
};

const std::unordered_map<Key, Naming>& mapping() {
    static const std::unordered_map<Key, Naming> table = [] {
        std::unordered_map<Key, Naming> t;
        const auto named = [&](Key key, const char* textKey, const char* menuGlyph) {
            t[key] = Naming{textKey, true, false, std::string(menuGlyph)};
        };
        named(Key::return_, "return_key", "↩");
        named(Key::delete_, "delete_key", "⌫");
        named(Key::deleteForward, "forward_delete_key", "⌦");
        named(Key::end, "end_key", "↘");
        named(Key::escape, "escape_key", "⎋");
        // The Help position is the Insert key on a PC keyboard.
        named(Key::help, "insert_key", "?\u20DD");
        named(Key::home, "home_key", "↖");
        named(Key::space, "space_key", " ");
        named(Key::tab, "tab_key", "⇥");
        named(Key::pageUp, "page_up_key", "⇞");
        named(Key::pageDown, "page_down_key", "⇟");
        named(Key::upArrow, "up_arrow_key", "↑");
        named(Key::rightArrow, "right_arrow_key", "→");
        named(Key::downArrow, "down_arrow_key", "↓");
        named(Key::leftArrow, "left_arrow_key", "←");

        const Key functionKeys[] = {Key::f1,  Key::f2,  Key::f3,  Key::f4,  Key::f5,
                                    Key::f6,  Key::f7,  Key::f8,  Key::f9,  Key::f10,
                                    Key::f11, Key::f12, Key::f13, Key::f14, Key::f15,
                                    Key::f16, Key::f17, Key::f18, Key::f19, Key::f20};
        for (int i = 0; i < 20; ++i)
            t[functionKeys[i]] = Naming{"F" + std::to_string(i + 1), false, false, platform::fromCodePoint(0xF704 + i)};

        // Keypad keys have no menu key equivalent.
        const auto keypad = [&](Key key, std::string label, bool localized = false) {
            t[key] = Naming{std::move(label), localized, true, std::nullopt};
        };
        const Key digits[] = {Key::keypad0, Key::keypad1, Key::keypad2, Key::keypad3,
                              Key::keypad4, Key::keypad5, Key::keypad6, Key::keypad7,
                              Key::keypad8, Key::keypad9};
        for (int i = 0; i < 10; ++i)
            keypad(digits[i], std::to_string(i));
        keypad(Key::keypadDecimal, ".");
        keypad(Key::keypadDivide, "/");
        keypad(Key::keypadEnter, "return_key", true);
        keypad(Key::keypadEquals, "=");
        keypad(Key::keypadMinus, "-");
        keypad(Key::keypadMultiply, "*");
        keypad(Key::keypadPlus, "+");
        // The Clear position is Num Lock on a PC keyboard.
        t[Key::keypadClear] = Naming{"num_lock_key", true, false, std::nullopt};
        return t;
    }();
    return table;
}

}  // namespace

std::optional<SpecialKey> specialKey(Key key) {
    auto it = mapping().find(key);
    if (it == mapping().end()) return std::nullopt;
    const Naming& naming = it->second;
    // Names are looked up on each use: their texts may change with the language.
    std::string name = naming.localized ? localizedString(naming.text) : naming.text;
    if (naming.keypad) name = localizedFormat("keypad_key", name);
    return SpecialKey{key, std::move(name), naming.menuItemKeyEquivalent};
}

}  // namespace GlobalKeyBindings
