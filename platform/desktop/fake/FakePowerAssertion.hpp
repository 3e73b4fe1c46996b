#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "platform/desktop/DesktopError.hpp"
#include "platform/desktop/PowerAssertion.hpp"

namespace platform::desktop {

// Keep-awake for tests: counts the assertions held, can refuse them, and
// reports the idle time a test sets.
class FakePowerAssertion final : public PowerAssertion {
public:
    bool refuse = false;
    double idle = 0;

    uint32_t preventDisplaySleep(const std::string& reason) override {
        if (refuse) throw DesktopError(DesktopError::Kind::refused, "inhibit refused");
        reasons.push_back(reason);
        held.insert(++next_);
        return next_;
    }
    void release(uint32_t assertion) override { held.erase(assertion); }
    double idleSeconds() override { return idle; }

    std::set<uint32_t> held;
    std::vector<std::string> reasons;

private:
    uint32_t next_ = 0;
};

}  // namespace platform::desktop
