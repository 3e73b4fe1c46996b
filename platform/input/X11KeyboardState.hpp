#pragma once

#include <memory>
#include <mutex>

#include "platform/input/KeyboardState.hpp"

namespace platform::input {

// The keys down, from the X server's own keyboard state (QueryKeymap), on a
// connection of its own opened on first use. Without an X display nothing
// counts as down, and the first attempt is logged.
class X11KeyboardState final : public KeyboardState {
public:
    X11KeyboardState();
    ~X11KeyboardState() override;

    bool anyDown(const std::vector<int>& carbonKeyCodes) override;

private:
    struct Connection;
    Connection* connection();

    std::mutex mutex_;
    std::unique_ptr<Connection> connection_;
    bool failed_ = false;
};

}  // namespace platform::input
