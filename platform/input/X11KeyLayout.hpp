#pragma once

#include <memory>
#include <string>

#include "platform/input/KeyLayout.hpp"

namespace platform::input {

// Key names from the X server's current keyboard layout (xkbcommon). The
// keymap is read again on every query, so a layout switch shows at once.
class X11KeyLayout final : public KeyLayout {
public:
    // Connects to `displayName` (empty: $DISPLAY); throws InputError when
    // there is no display or it lacks the keyboard extension.
    explicit X11KeyLayout(const std::string& displayName = {});
    ~X11KeyLayout() override;

    std::optional<std::string> characters(int carbonKeyCode) const override;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace platform::input
