#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace GlobalKeyBindings {

class HotKeyCenter;

// One system hot key: a key, Carbon modifiers and the callbacks for its
// press and release. Whoever owns it keeps it registered; releasing the
// last owner unregisters it from the system.
class HotKey {
public:
    using Callback = std::function<void()>;

    HotKey(std::int64_t carbonKeyCode, std::int64_t carbonModifiers, std::uint32_t id,
           Callback onKeyDown, Callback onKeyUp);
    ~HotKey();
    HotKey(const HotKey&) = delete;
    HotKey& operator=(const HotKey&) = delete;

    const std::int64_t carbonKeyCode;
    const std::int64_t carbonModifiers;
    const std::uint32_t id;
    Callback onKeyDown;
    Callback onKeyUp;
    // Called when the key cannot be registered again after a pause.
    Callback onRegistrationFailed;

    // Registered with the system right now (false while paused).
    bool isRegistered() const { return registered_; }

private:
    friend class HotKeyCenter;
    std::weak_ptr<HotKeyCenter> center_;
    bool registered_ = false;
};

}  // namespace GlobalKeyBindings
