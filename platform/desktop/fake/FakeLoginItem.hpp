#pragma once

#include "platform/desktop/DesktopError.hpp"
#include "platform/desktop/LoginItem.hpp"

namespace platform::desktop {

// A login item for tests; `refuse` makes every change fail.
class FakeLoginItem final : public LoginItem {
public:
    bool enabled = false;
    bool refuse = false;
    int changes = 0;

    bool isEnabled() override { return enabled; }
    void setEnabled(bool value) override {
        ++changes;
        if (refuse) throw DesktopError(DesktopError::Kind::refused, "the autostart entry cannot be written");
        enabled = value;
    }
};

}  // namespace platform::desktop
