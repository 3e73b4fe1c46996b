#pragma once

#include <optional>
#include <string>

#include "GlobalKeyBindings/Key.hpp"

namespace GlobalKeyBindings {

// A key shown by its name on this desktop instead of the character the
// layout gives.
struct SpecialKey {
    Key key;
    std::string presentableDescription;
    // The character a menu item uses for the key; none for keypad keys.
    std::optional<std::string> menuItemKeyEquivalent;
};

// The special key of `key`, if it is one of the 53.
std::optional<SpecialKey> specialKey(Key key);

}  // namespace GlobalKeyBindings
