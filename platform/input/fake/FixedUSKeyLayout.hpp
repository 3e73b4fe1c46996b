#pragma once

#include <map>
#include <optional>
#include <string>

#include "platform/input/KeyLayout.hpp"

namespace platform::input {

// A fixed US layout for tests; single keys can be overridden, also to
// produce several characters or none.
class FixedUSKeyLayout final : public KeyLayout {
public:
    std::optional<std::string> characters(int carbonKeyCode) const override;

    void setCharacters(int carbonKeyCode, std::optional<std::string> text) {
        overrides_[carbonKeyCode] = std::move(text);
    }

private:
    std::map<int, std::optional<std::string>> overrides_;
};

}  // namespace platform::input
