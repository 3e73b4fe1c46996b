#pragma once

#include <memory>
#include <string>

#include "platform/concurrency/MainQueue.hpp"
#include "platform/input/HotKeyService.hpp"

namespace platform::input {

// Hot keys on X11: a passive key grab on the root window for each key, under
// every combination of the lock modifiers (Caps Lock, Num Lock, Scroll Lock)
// so that a lit lock key does not hide the shortcut. A thread of its own reads
// the connection and posts presses and releases to the main queue.
class X11HotKeyService final : public HotKeyService {
public:
    // Connects to `displayName` (empty: $DISPLAY). Throws InputError when
    // there is no display.
    explicit X11HotKeyService(const std::string& displayName = {},
                              MainQueue& mainQueue = MainQueue::shared());
    ~X11HotKeyService() override;

    void setEventHandler(EventHandler handler) override;
    RegistrationResult registerHotKey(std::uint32_t hotKeyId, int carbonKeyCode,
                                      int carbonModifiers) override;
    void unregisterHotKey(std::uint32_t hotKeyId) override;
    KeyRepeat keyRepeat() const override;

    // Auto-repeated presses seen and dropped so far.
    std::size_t droppedRepeats() const;

private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace platform::input
