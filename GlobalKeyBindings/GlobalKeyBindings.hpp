#pragma once

#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "GlobalKeyBindings/EventStream.hpp"
#include "GlobalKeyBindings/HotKeyCenter.hpp"
#include "GlobalKeyBindings/Name.hpp"
#include "GlobalKeyBindings/Shortcut.hpp"
#include "platform/concurrency/Signal.hpp"
#include "platform/foundation/UserDefaults.hpp"
#include "platform/input/HotKeyService.hpp"
#include "platform/input/KeyLayout.hpp"
#include "platform/input/SystemShortcuts.hpp"

// Named global shortcuts: stored per name in the user defaults, registered
// as system hot keys while some enabled name with handlers or an open stream
// needs them, and fired from any application. Everything here runs on the
// main thread.
//
// Start-up on X11:
//   install({UserDefaults::standardShared(), std::make_shared<X11HotKeyService>(),
//            std::make_shared<X11KeyLayout>(), nullptr});
//   declare(toggleRecording);  // once per name that has an initial shortcut
//   onKeyDown(toggleRecording, [] { ... });
namespace GlobalKeyBindings {

inline constexpr std::string_view userDefaultsPrefix = "GlobalKeyBindings_";
inline constexpr std::string_view shortcutByNameDidChangeNotification =
    "GlobalKeyBindings_shortcutByNameDidChange";

struct Environment {
    std::shared_ptr<platform::UserDefaults> defaults;  // the standard defaults when empty
    std::shared_ptr<platform::input::HotKeyService> hotKeyService;
    std::shared_ptr<platform::input::KeyLayout> keyLayout;  // keys unnamed when empty
    std::shared_ptr<platform::input::SystemShortcuts> systemShortcuts;  // none when empty
};

// Sets up the module on its services, dropping any earlier state.
void install(Environment environment);
void uninstall();
bool isInstalled();

using Action = std::function<void()>;

// ---- Names and storage ----

// Writes the name's initial shortcut when its key holds nothing at all.
void declare(const Name& name);

std::optional<Shortcut> getShortcut(const Name& name);
// A shortcut is stored; none stores false for a name with an initial
// shortcut (so it never comes back) and removes the entry otherwise.
void setShortcut(const std::optional<Shortcut>& shortcut, const Name& name);
void reset(const std::vector<Name>& names);
void reset(std::initializer_list<Name> names);
void reset(const Name& name);
void resetAll();
std::unordered_set<Name> storedNames();
StoredShortcut storedShortcut(const Name& name);
std::string userDefaultsKey(const Name& name);

void userDefaultsSet(const Name& name, const Shortcut& shortcut);
void userDefaultsDisable(const Name& name);
void userDefaultsRemove(const Name& name);

// Posted after a name's stored shortcut and its hot key changed.
platform::Signal<const Name&>& shortcutByNameDidChange();

// ---- Handlers ----

void onKeyDown(const Name& name, Action action);
void onKeyUp(const Name& name, Action action);
void removeHandler(const Name& name);
void removeAllHandlers();

void disable(const std::vector<Name>& names);
void disable(std::initializer_list<Name> names);
void disable(const Name& name);
void enable(const std::vector<Name>& names);
void enable(std::initializer_list<Name> names);
void enable(const Name& name);

// Enabled, with handlers, and its stored shortcut registered.
bool isEnabled(const Name& name);
bool isEnabled();
void setEnabled(bool enabled);
// Set while a shortcut recorder records: nothing fires.
bool isPaused();
void setPaused(bool paused);

// ---- Streams ----

EventStream events(const Name& name);
EventStream events(const Shortcut& shortcut);
EventStream events(EventType type, const Name& name);
EventStream events(EventType type, const Shortcut& shortcut);
RepeatingEventStream repeatingKeyDownEvents(const Name& name);
RepeatingEventStream repeatingKeyDownEvents(const Shortcut& shortcut);

// ---- Registration ----

// Registers the shortcut's hot key unless it is registered already. A
// refusal leaves no hot key, is logged by the service and is announced by
// registrationDidFail.
platform::input::RegistrationResult registerIfNeeded(const Shortcut& shortcut);
void registerIfNeeded(const Name& name);
bool isShortcutActive(const Shortcut& shortcut, const std::optional<Name>& excluding);
// The shortcut has a hot key right now.
bool hasHotKey(const Shortcut& shortcut);

platform::Signal<const Shortcut&, const platform::input::RegistrationResult&>&
registrationDidFail();

HotKeyCenter& hotKeyCenter();

namespace detail {
const platform::input::KeyLayout* currentKeyLayout();
const platform::input::SystemShortcuts* currentSystemShortcuts();
}  // namespace detail

}  // namespace GlobalKeyBindings
