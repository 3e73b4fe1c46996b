#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "GlobalKeyBindings/Key.hpp"
#include "GlobalKeyBindings/MenuItem.hpp"
#include "GlobalKeyBindings/ModifierFlags.hpp"

namespace GlobalKeyBindings {

struct Name;

// A key event as the recorder sees it.
struct KeyEvent {
    enum class Type { keyDown, keyUp, flagsChanged };
    Type type = Type::keyDown;
    std::int64_t keyCode = 0;  // Carbon key code
    ModifierFlags modifierFlags;
};

// One key plus modifiers, in the Carbon form the hot-key service takes and
// the user defaults keep. Only the five known modifier bits are kept.
struct Shortcut {
    std::int64_t carbonKeyCode = 0;
    std::int64_t carbonModifiers = 0;

    Shortcut(std::int64_t carbonKeyCode, std::int64_t carbonModifiers);
    Shortcut(Key key, ModifierFlags modifiers);

    // None unless a key down or key up; the function modifier is dropped.
    static std::optional<Shortcut> fromEvent(const KeyEvent& event);
    // The shortcut stored for the name, if any.
    static std::optional<Shortcut> named(const Name& name);

    Key key() const { return Key(carbonKeyCode); }
    ModifierFlags modifiers() const { return ModifierFlags::fromCarbon(carbonModifiers); }

    // The modifiers' names followed by the key's name or character, as this
    // desktop writes a shortcut: "Alt+Espacio", "Ctrl+Alt+K".
    std::string presentableDescription() const;
    std::string description() const { return presentableDescription(); }

    // The character a menu item shows for the key; none for keypad keys and
    // keys without a single character on the current layout.
    std::optional<std::string> menuItemKeyEquivalent() const;

    // The enabled shortcuts of the desktop itself.
    static std::vector<Shortcut> system();
    // F12 alone is never taken; otherwise true when the desktop uses it.
    bool isTakenBySystem() const;
    // Depth first, the first item whose key equivalent is this shortcut.
    const MenuItem* menuItemWithMatchingShortcut(const std::vector<MenuItem>& menu) const;

    static bool isSandboxed();

    friend bool operator==(const Shortcut&, const Shortcut&) = default;
};

// The character that the key gives on the current layout with no modifier:
// none for special keys, or when the layout gives none or several.
std::optional<std::string> keyToCharacter(Key key);

void to_json(nlohmann::json& json, const Shortcut& shortcut);
// Throws nlohmann::json::exception unless both members are integers.
void from_json(const nlohmann::json& json, Shortcut& shortcut);
// The stored text: {"carbonKeyCode":49,"carbonModifiers":2048}.
std::string encodeShortcut(const Shortcut& shortcut);
// None for text that is not JSON or not a shortcut.
std::optional<Shortcut> decodeShortcut(const std::string& text);

}  // namespace GlobalKeyBindings

template <>
struct std::hash<GlobalKeyBindings::Shortcut> {
    std::size_t operator()(const GlobalKeyBindings::Shortcut& s) const noexcept {
        const std::size_t a = std::hash<std::int64_t>{}(s.carbonKeyCode);
        return a ^ (std::hash<std::int64_t>{}(s.carbonModifiers) + 0x9e3779b97f4a7c15ULL + (a << 6) + (a >> 2));
    }
};
