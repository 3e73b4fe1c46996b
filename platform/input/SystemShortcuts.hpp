#pragma once

#include <vector>

namespace platform::input {

struct SystemShortcut {
    int carbonKeyCode;
    int carbonModifiers;
};

// The enabled shortcuts the desktop itself reserves.
class SystemShortcuts {
public:
    virtual ~SystemShortcuts() = default;
    virtual std::vector<SystemShortcut> enabledShortcuts() const = 0;
};

// For desktops that publish no list of their own shortcuts: answers none.
class NoSystemShortcuts final : public SystemShortcuts {
public:
    std::vector<SystemShortcut> enabledShortcuts() const override { return {}; }
};

}  // namespace platform::input
