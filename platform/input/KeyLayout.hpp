#pragma once

#include <optional>
#include <string>

namespace platform::input {

// Names of keys on the user's current keyboard layout.
class KeyLayout {
public:
    virtual ~KeyLayout() = default;

    // The text (UTF-8) the key produces with no modifier held; none when the
    // layout is unknown or the key produces nothing (dead keys included).
    virtual std::optional<std::string> characters(int carbonKeyCode) const = 0;
};

}  // namespace platform::input
