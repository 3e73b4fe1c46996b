#include "GlobalKeyBindings/SpecialKey.hpp"

#include <unordered_map>

#include "GlobalKeyBindings/Localization.hpp"
#include "platform/foundation/Unicode.hpp"

namespace GlobalKeyBindings {
namespace {

const std::unordered_map<Key, SpecialKey>& mapping() {
    static const std::unordered_map<Key, SpecialKey> table = [] {
        std::unordered_map<Key, SpecialKey> t;
        const auto glyph = [&](Key key, const char* text) {
            t[key] = SpecialKey{key, text, std::string(text)};
        };
        glyph(Key::return_, "↩");
        glyph(Key::delete_, "⌫");
        glyph(Key::deleteForward, "⌦");
        glyph(Key::end, "↘");
        glyph(Key::escape, "⎋");
        glyph(Key::help, "?\u20DD");
        glyph(Key::home, "↖");
        glyph(Key::tab, "⇥");
        glyph(Key::pageUp, "⇞");
        glyph(Key::pageDown, "⇟");
        glyph(Key::upArrow, "↑");
        glyph(Key::rightArrow, "→");
        glyph(Key::downArrow, "↓");
        glyph(Key::leftArrow, "←");
        // The space reads as a word; its text may change with the language.
        t[Key::space] = SpecialKey{Key::space, {}, std::string(" ")};

        const Key functionKeys[] = {Key::f1,  Key::f2,  Key::f3,  Key::f4,  Key::f5,
                                    Key::f6,  Key::f7,  Key::f8,  Key::f9,  Key::f10,
                                    Key::f11, Key::f12, Key::f13, Key::f14, Key::f15,
                                    Key::f16, Key::f17, Key::f18, Key::f19, Key::f20};
        for (int i = 0; i < 20; ++i) {
            std::string label("F");
            label.append(std::to_string(i + 1));
            t[functionKeys[i]] = SpecialKey{functionKeys[i], std::move(label),
                                            platform::fromCodePoint(0xF704 + i)};
        }

        const auto keycap = [&](Key key, std::string label) {
            label.append("\u20E3");
            t[key] = SpecialKey{key, std::move(label), std::nullopt};
        };
        const Key digits[] = {Key::keypad0, Key::keypad1, Key::keypad2, Key::keypad3,
                              Key::keypad4, Key::keypad5, Key::keypad6, Key::keypad7,
                              Key::keypad8, Key::keypad9};
        for (int i = 0; i < 10; ++i)
            keycap(digits[i], std::to_string(i));
        keycap(Key::keypadClear, "☒");
        keycap(Key::keypadDecimal, ".");
        keycap(Key::keypadDivide, "/");
        keycap(Key::keypadEnter, "↩");
        keycap(Key::keypadEquals, "=");
        keycap(Key::keypadMinus, "-");
        keycap(Key::keypadMultiply, "*");
        keycap(Key::keypadPlus, "+");
        return t;
    }();
    return table;
}

}  // namespace

std::optional<SpecialKey> specialKey(Key key) {
    auto it = mapping().find(key);
    if (it == mapping().end()) return std::nullopt;
    SpecialKey special = it->second;
    if (key == Key::space) special.presentableDescription = localizedString("space_key");
    return special;
}

}  // namespace GlobalKeyBindings
