#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "platform/input/HotKeyService.hpp"

namespace platform::input {

// Hot keys for tests: keeps the registered keys, refuses the keys a test
// marks as held by another client, and delivers scripted presses and
// releases to the handler at once (tests drive it on the main thread).
class FakeHotKeyService final : public HotKeyService {
public:
    struct Registration {
        int carbonKeyCode;
        int carbonModifiers;
    };

    void setEventHandler(EventHandler handler) override { handler_ = std::move(handler); }
    RegistrationResult registerHotKey(std::uint32_t hotKeyId, int carbonKeyCode,
                                      int carbonModifiers) override;
    void unregisterHotKey(std::uint32_t hotKeyId) override;
    KeyRepeat keyRepeat() const override { return repeat; }

    // Makes later registrations of the key fail as if another client held it.
    void takeByAnotherClient(int carbonKeyCode, int carbonModifiers);
    void releaseByAnotherClient(int carbonKeyCode, int carbonModifiers);

    // A key press from the keyboard; true when a registered hot key took it.
    bool press(int carbonKeyCode, int carbonModifiers);
    // The release of a key pressed before; true when a hot key took it.
    bool release(int carbonKeyCode);
    // Press and release.
    bool tap(int carbonKeyCode, int carbonModifiers);

    bool isRegistered(int carbonKeyCode, int carbonModifiers) const;
    std::size_t registeredCount() const { return registered_.size(); }
    const std::map<std::uint32_t, Registration>& registrations() const { return registered_; }

    int registerCalls = 0;
    int unregisterCalls = 0;
    KeyRepeat repeat{0.5, 0.05};

private:
    EventHandler handler_;
    std::map<std::uint32_t, Registration> registered_;
    std::set<std::pair<int, int>> takenElsewhere_;
    std::map<int, std::uint32_t> held_;  // key code -> hot key that took the press
};

}  // namespace platform::input
