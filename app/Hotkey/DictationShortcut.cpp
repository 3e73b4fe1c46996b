#include "app/Hotkey/DictationShortcut.hpp"

#include "GlobalKeyBindings/GlobalKeyBindings.hpp"
#include "app/Hotkey/HotkeyManager.hpp"

namespace Parlox {

std::optional<std::string> DictationShortcut::name() {
    const GlobalKeyBindings::Name& toggle = HotkeyManager::toggleRecording();
    const auto shortcut = GlobalKeyBindings::isInstalled() ? GlobalKeyBindings::getShortcut(toggle)
                                                           : toggle.initialShortcut;
    if (!shortcut) return std::nullopt;
    return shortcut->presentableDescription();
}

platform::Connection DictationShortcut::onChange(std::function<void()> changed) {
    return GlobalKeyBindings::shortcutByNameDidChange().connect(
        [changed = std::move(changed)](const GlobalKeyBindings::Name& name) {
            if (name == HotkeyManager::toggleRecording()) changed();
        });
}

}  // namespace Parlox
