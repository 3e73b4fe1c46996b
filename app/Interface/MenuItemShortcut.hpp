#pragma once

#include <optional>

#include "GlobalKeyBindings/Name.hpp"
#include "GlobalKeyBindings/Shortcut.hpp"

class QAction;

// Menu items (actions) that show a global shortcut as their key sequence.
namespace GlobalKeyBindings {

// Shows a fixed shortcut, or none; any binding to a name ends and the
// action's own key sequence is forgotten.
void setShortcut(QAction& item, const std::optional<Shortcut>& shortcut);

// Binds the action to a name: it shows the name's stored shortcut and keeps
// showing the current one when the user changes it; while the name has
// none it shows its own key sequence from before the first binding. No
// name unbinds it and puts that key sequence back.
void setShortcut(QAction& item, const std::optional<Name>& name);

}  // namespace GlobalKeyBindings
