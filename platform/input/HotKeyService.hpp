#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace platform::input {

enum class HotKeyEventKind { pressed, released };

enum class RegistrationStatus {
    registered,
    takenByAnotherClient,  // the display server refused the grab
    alreadyRegistered,     // this process holds the same key and modifiers
    keyNotOnKeyboard,      // no keycode for the key on the current keyboard
    unavailable,           // no connection to a display server
};

struct RegistrationResult {
    RegistrationStatus status = RegistrationStatus::registered;
    std::string message;  // why it failed, for logs; empty on success

    bool ok() const { return status == RegistrationStatus::registered; }
};

// Keyboard auto-repeat timing, in seconds.
struct KeyRepeat {
    double delay = 0.5;
    double interval = 0.05;
};

// System-wide hot keys. A registered key fires from any application; its
// press and release reach the event handler on the main queue. Held keys
// fire one press: auto-repeat never reaches the handler.
class HotKeyService {
public:
    using EventHandler = std::function<void(std::uint32_t hotKeyId, HotKeyEventKind kind)>;

    virtual ~HotKeyService() = default;

    virtual void setEventHandler(EventHandler handler) = 0;

    // Takes the key (Carbon key code and modifier bits) for hotKeyId. A
    // refusal is returned and logged; nothing is kept for a refused key.
    virtual RegistrationResult registerHotKey(std::uint32_t hotKeyId, int carbonKeyCode,
                                              int carbonModifiers) = 0;
    virtual void unregisterHotKey(std::uint32_t hotKeyId) = 0;

    virtual KeyRepeat keyRepeat() const = 0;
};

}  // namespace platform::input
