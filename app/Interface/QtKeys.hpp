#pragma once

#include <optional>
#include <vector>

#include <QKeyCombination>
#include <QKeySequence>
#include <Qt>

#include "GlobalKeyBindings/MenuItem.hpp"
#include "GlobalKeyBindings/Shortcut.hpp"

class QAction;
class QKeyEvent;

// Keys and shortcuts between the toolkit's form and the stored one (Carbon
// key codes, which name physical key positions).
namespace GlobalKeyBindings::QtKeys {

ModifierFlags modifierFlags(Qt::KeyboardModifiers modifiers);
// Control, Alt, Shift and Meta (the Super key); the function flag has no
// counterpart.
Qt::KeyboardModifiers qtModifiers(ModifierFlags flags);

// The key the toolkit names; `keypad` tells keypad keys from the others.
std::optional<Key> key(int qtKey, bool keypad);
// The toolkit's name of a key; none for keys it has no name for.
std::optional<QKeyCombination> qtKey(Key key);

// A key press as the recorder sees it: the physical key from the event's
// scan code when the display server gives one (X11), else from the key the
// toolkit names.
KeyEvent keyEvent(const QKeyEvent& event);

// The shortcut as a key sequence; empty when the toolkit has no name for its key.
QKeySequence keySequence(const Shortcut& shortcut);
std::optional<Shortcut> shortcut(const QKeyCombination& combination);

// Puts the key sequence on the action and has menus show it as this desktop
// writes a shortcut ("Ctrl+Alt+K"); the toolkit's own text would put Meta
// first and name the keys in English.
void setShortcut(QAction& action, const QKeySequence& keys);
// The action's title, without the keys a menu shows after a tab.
QString title(const QAction& action);

// An action with a key sequence, as a menu item of the conflict check.
std::optional<MenuItem> menuItem(const QAction& action);
// The actions with key sequences of the application's windows.
std::vector<MenuItem> applicationMenu();

}  // namespace GlobalKeyBindings::QtKeys
