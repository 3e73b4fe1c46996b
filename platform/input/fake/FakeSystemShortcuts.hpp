#pragma once

#include <vector>

#include "platform/input/SystemShortcuts.hpp"

namespace platform::input {

class FakeSystemShortcuts final : public SystemShortcuts {
public:
    std::vector<SystemShortcut> shortcuts;

    std::vector<SystemShortcut> enabledShortcuts() const override { return shortcuts; }
};

}  // namespace platform::input
