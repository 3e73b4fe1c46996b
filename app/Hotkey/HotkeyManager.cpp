#include "app/Hotkey/HotkeyManager.hpp"

#include "GlobalKeyBindings/GlobalKeyBindings.hpp"

namespace Parlox {

using GlobalKeyBindings::Key;
using GlobalKeyBindings::ModifierFlags;
using GlobalKeyBindings::Name;
using GlobalKeyBindings::Shortcut;

const Name& HotkeyManager::toggleRecording() {
    static const Name name("toggleRecording", Shortcut(Key::space, ModifierFlags::option));
    return name;
}

const Name& HotkeyManager::cancel() {
    static const Name name("cancel", Shortcut(Key::escape, ModifierFlags()));
    return name;
}

const Name& HotkeyManager::accept() {
    static const Name name("accept", Shortcut(Key::return_, ModifierFlags()));
    return name;
}

const Name& HotkeyManager::acceptKeypad() {
    static const Name name("acceptKeypad", Shortcut(Key::keypadEnter, ModifierFlags()));
    return name;
}

platform::Connection HotkeyManager::followShortcutKeys(std::function<void(std::vector<int>)> changed) {
    const auto keys = [] {
        std::vector<int> codes;
        for (const Name* name : {&toggleRecording(), &cancel()})
            if (const auto shortcut = GlobalKeyBindings::getShortcut(*name))
                codes.push_back(static_cast<int>(shortcut->carbonKeyCode));
        return codes;
    };
    changed(keys());
    return GlobalKeyBindings::shortcutByNameDidChange().connect(
        [changed = std::move(changed), keys](const Name& name) {
            if (name == toggleRecording() || name == cancel()) changed(keys());
        });
}

HotkeyManager::HotkeyManager() : self_(std::make_shared<HotkeyManager*>(this)) {
    const std::weak_ptr<HotkeyManager*> weak = self_;
    auto call = [weak](std::function<void()> HotkeyManager::*slot) {
        return [weak, slot] {
            auto self = weak.lock();
            if (!self) return;
            // A copy: the handler may replace itself.
            auto action = (*self)->*slot;
            if (action) action();
        };
    };
    for (const Name* name : {&toggleRecording(), &cancel(), &accept(), &acceptKeypad()})
        GlobalKeyBindings::declare(*name);
    // Disabled before their handlers arrive, so the keys are never taken even for a moment.
    GlobalKeyBindings::disable({cancel(), accept(), acceptKeypad()});
    GlobalKeyBindings::onKeyDown(toggleRecording(), call(&HotkeyManager::onToggle));
    GlobalKeyBindings::onKeyDown(cancel(), call(&HotkeyManager::onCancel));
    GlobalKeyBindings::onKeyDown(accept(), call(&HotkeyManager::onAccept));
    GlobalKeyBindings::onKeyDown(acceptKeypad(), call(&HotkeyManager::onAccept));
}

void HotkeyManager::setCancelEnabled(bool enabled) {
    if (enabled == cancelEnabled_) return;
    cancelEnabled_ = enabled;
    if (enabled)
        GlobalKeyBindings::enable(cancel());
    else
        GlobalKeyBindings::disable(cancel());
}

void HotkeyManager::setAcceptEnabled(bool enabled) {
    if (enabled == acceptEnabled_) return;
    acceptEnabled_ = enabled;
    if (enabled)
        GlobalKeyBindings::enable({accept(), acceptKeypad()});
    else
        GlobalKeyBindings::disable({accept(), acceptKeypad()});
}

}  // namespace Parlox
