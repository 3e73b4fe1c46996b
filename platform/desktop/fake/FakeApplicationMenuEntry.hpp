#pragma once

#include "platform/desktop/ApplicationMenuEntry.hpp"
#include "platform/desktop/DesktopError.hpp"

namespace platform::desktop {

// An application menu entry for tests; `refuse` makes installing fail.
class FakeApplicationMenuEntry final : public ApplicationMenuEntry {
public:
    bool refuse = false;
    int installs = 0;

    void install() override {
        ++installs;
        if (refuse) throw DesktopError(DesktopError::Kind::fileWriteFailed, "the menu entry cannot be written");
    }
};

}  // namespace platform::desktop
