#pragma once

#include "platform/desktop/UpdateService.hpp"

namespace platform::desktop {

// The update service for tests: records starts and checks and hands the
// delegate to the test, which plays the service's callbacks.
class FakeUpdateService final : public UpdateService {
public:
    UpdateServiceDelegate* delegate = nullptr;
    int starts = 0;
    int checks = 0;

    bool isAvailable() const override { return true; }

    void start(UpdateServiceDelegate* d) override {
        ++starts;
        delegate = d;
    }
    void checkForUpdates() override { ++checks; }
};

}  // namespace platform::desktop
