#pragma once

#include <string>
#include <vector>

#include "GlobalKeyBindings/ModifierFlags.hpp"

namespace GlobalKeyBindings {

// An item of the application's menus, as far as shortcut conflicts go.
struct MenuItem {
    std::string title;
    std::string keyEquivalent;  // an upper-case letter implies shift
    ModifierFlags keyEquivalentModifierMask;
    std::vector<MenuItem> submenu;
};

}  // namespace GlobalKeyBindings
