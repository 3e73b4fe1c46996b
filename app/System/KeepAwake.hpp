#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "app/System/KeepAwakeSwitch.hpp"
#include "platform/concurrency/Scheduler.hpp"
#include "platform/desktop/PowerAssertion.hpp"
#include "platform/input/KeySynth.hpp"

namespace Parlox {

// Keeps the display from sleeping and the session from looking idle while
// it is on: it holds a power assertion, and every 10 s, once the user has
// been idle for 5 minutes, nudges the pointer. Hidden until unlocked (the
// "keepAwakeUnlocked" user default); locking it switches it off. Always
// starts off. One per application, on the main thread.
class KeepAwake final : public KeepAwakeSwitch {
public:
    static constexpr const char* unlockedKey = "keepAwakeUnlocked";
    static constexpr const char* assertionName = "Parlox: mantener el ordenador despierto";
    static constexpr double nudgeInterval = 10;
    static constexpr double idleBeforeNudge = 300;

    // Reads "keepAwakeUnlocked" from the standard user defaults.
    KeepAwake(std::shared_ptr<platform::desktop::PowerAssertion> power,
              std::shared_ptr<platform::input::KeySynth> keys, std::shared_ptr<platform::Scheduler> scheduler);
    // Gives the assertion back and stops the timer, without logging.
    ~KeepAwake() override;
    KeepAwake(const KeepAwake&) = delete;
    KeepAwake& operator=(const KeepAwake&) = delete;

    bool isOn() const override { return isOn_; }
    bool isUnlocked() const override { return isUnlocked_; }
    // Stores the value (also when it is the same); false switches the feature off.
    void setUnlocked(bool unlocked) override;
    // On: takes the assertion and starts the nudge timer; a refused assertion
    // is logged and leaves the feature off. Off: gives both back.
    void set(bool on) override;
    // Fires after isOn or isUnlocked changed.
    platform::Signal<>& changed() override { return changed_; }

    // The timer's work: a pointer nudge once the user has been idle long enough.
    void nudgeIfIdle();

private:
    void switchOn();
    void switchOff();
    void stopHolding();

    std::shared_ptr<platform::desktop::PowerAssertion> power_;
    std::shared_ptr<platform::input::KeySynth> keys_;
    std::shared_ptr<platform::Scheduler> scheduler_;
    bool isOn_ = false;
    bool isUnlocked_ = false;
    std::optional<uint32_t> assertion_;  // the display-sleep assertion held while on
    platform::TimerHandle nudgeTimer_;
    platform::Signal<> changed_;
};

}  // namespace Parlox
