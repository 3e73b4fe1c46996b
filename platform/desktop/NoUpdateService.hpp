#pragma once

#include "platform/desktop/UpdateService.hpp"

namespace platform::desktop {

// The update service of a desktop that has none: every check finds nothing
// newer, and says so to the delegate.
class NoUpdateService final : public UpdateService {
public:
    void start(UpdateServiceDelegate* delegate) override { delegate_ = delegate; }
    void checkForUpdates() override {
        if (delegate_) delegate_->didNotFindUpdate(true);
    }

private:
    UpdateServiceDelegate* delegate_ = nullptr;
};

}  // namespace platform::desktop
