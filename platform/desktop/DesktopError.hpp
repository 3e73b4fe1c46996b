#pragma once

#include <string>

#include "platform/foundation/Error.hpp"

namespace platform::desktop {

// Why a desktop backend cannot do its work.
class DesktopError final : public Error {
public:
    enum class Kind {
        noDisplay,      // no X server to talk to
        waylandSession, // the session is Wayland, which these backends do not drive
        noSessionBus,   // no D-Bus session bus
        serviceMissing, // the D-Bus service is not there
        helperFailed,   // the clipboard helper could not take the clipboard
        writeFailed,    // a file could not be written
    };

    DesktopError(Kind kind, std::string detail) : kind_(kind), detail_(std::move(detail)) {}

    Kind kind() const { return kind_; }
    const std::string& detail() const { return detail_; }
    std::string description() const override;
    std::string localizedDescription() const override;

private:
    Kind kind_;
    std::string detail_;
};

}  // namespace platform::desktop
