#pragma once

#include <functional>

#include "GlobalKeyBindings/EventStream.hpp"
#include "GlobalKeyBindings/Name.hpp"

class QAction;
class QObject;

namespace GlobalKeyBindings {

// Gives the action the name's stored shortcut as its key sequence, kept
// current; while a recorder records, the action has none.
void globalKeyboardShortcut(QAction& action, const Name& name);

// Runs `perform` on the GUI thread with each key event of the name's
// global shortcut for as long as `owner` exists.
void onGlobalKeyboardShortcut(QObject& owner, const Name& name, std::function<void(EventType)> perform);
// The same for one kind of event.
void onGlobalKeyboardShortcut(QObject& owner, const Name& name, EventType type, std::function<void()> perform);

// Older names of the two above.
inline void onKeyboardShortcut(QObject& owner, const Name& name, std::function<void(EventType)> perform) {
    onGlobalKeyboardShortcut(owner, name, std::move(perform));
}
inline void onKeyboardShortcut(QObject& owner, const Name& name, EventType type, std::function<void()> perform) {
    onGlobalKeyboardShortcut(owner, name, type, std::move(perform));
}

}  // namespace GlobalKeyBindings
