#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "GlobalKeyBindings/Name.hpp"
#include "platform/concurrency/Signal.hpp"

namespace Parlox {

// The application's four global shortcuts. Only the dictation shortcut is
// live at rest; Escape, Return and keypad Enter are taken from other
// applications only while a dictation needs them. Needs GlobalKeyBindings
// installed; main thread only.
class HotkeyManager {
public:
    static const GlobalKeyBindings::Name& toggleRecording();  // Option+Space
    static const GlobalKeyBindings::Name& cancel();           // Escape
    static const GlobalKeyBindings::Name& accept();           // Return
    static const GlobalKeyBindings::Name& acceptKeypad();     // keypad Enter

    // The keys of the dictation shortcut and of Escape (Carbon key codes),
    // as now set: their grabs take every key sent while one is down. Calls
    // `changed` with them at once and again whenever one of them changes.
    static platform::Connection followShortcutKeys(std::function<void(std::vector<int>)> changed);

    // Declares the names, registers their key-down handlers and disables
    // the three situational ones.
    HotkeyManager();
    HotkeyManager(const HotkeyManager&) = delete;
    HotkeyManager& operator=(const HotkeyManager&) = delete;

    std::function<void()> onToggle;
    std::function<void()> onCancel;
    std::function<void()> onAccept;  // Return and keypad Enter

    bool cancelEnabled() const { return cancelEnabled_; }
    // Enables or disables "cancel" when the value changes.
    void setCancelEnabled(bool enabled);
    bool acceptEnabled() const { return acceptEnabled_; }
    // Enables or disables "accept" and "acceptKeypad" together when the value changes.
    void setAcceptEnabled(bool enabled);

private:
    std::shared_ptr<HotkeyManager*> self_;  // the handlers' weak link to this object
    bool cancelEnabled_ = false;
    bool acceptEnabled_ = false;
};

}  // namespace Parlox
