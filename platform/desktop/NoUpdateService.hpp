#pragma once

#include "platform/desktop/UpdateService.hpp"

namespace platform::desktop {

// The update service of a desktop that has none: it never looks for a new
// version, so it never reports having found one or not.
class NoUpdateService final : public UpdateService {
public:
    bool isAvailable() const override { return false; }
    void start(UpdateServiceDelegate*) override {}
    void checkForUpdates() override {}
};

}  // namespace platform::desktop
