#pragma once

#include <algorithm>
#include <functional>
#include <mutex>
#include <set>
#include <vector>

#include "platform/input/KeyboardState.hpp"

namespace platform::input {

// A keyboard for tests: the keys a test holds down are down. Each look at
// it first calls an optional handler, through which a test's user presses
// or lets go of keys as time goes by.
class FakeKeyboardState final : public KeyboardState {
public:
    void press(int carbonKeyCode) {
        std::lock_guard lock(mutex_);
        down_.insert(carbonKeyCode);
    }
    void release(int carbonKeyCode) {
        std::lock_guard lock(mutex_);
        down_.erase(carbonKeyCode);
    }
    void setOnLook(std::function<void()> onLook) {
        std::lock_guard lock(mutex_);
        onLook_ = std::move(onLook);
    }

    bool anyDown(const std::vector<int>& carbonKeyCodes) override {
        std::function<void()> onLook;
        {
            std::lock_guard lock(mutex_);
            ++looks_;
            onLook = onLook_;
        }
        if (onLook) onLook();
        return isAnyDown(carbonKeyCodes);
    }

    // Without calling the handler or counting a look.
    bool isAnyDown(const std::vector<int>& carbonKeyCodes) const {
        std::lock_guard lock(mutex_);
        return std::any_of(carbonKeyCodes.begin(), carbonKeyCodes.end(),
                           [&](int code) { return down_.count(code) > 0; });
    }
    int looks() const {
        std::lock_guard lock(mutex_);
        return looks_;
    }

private:
    mutable std::mutex mutex_;
    std::set<int> down_;
    std::function<void()> onLook_;
    int looks_ = 0;
};

}  // namespace platform::input
