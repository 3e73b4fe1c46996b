#include "app/System/KeepAwake.hpp"

#include <exception>

#include "app/Support/Log.hpp"
#include "platform/concurrency/MainQueue.hpp"
#include "platform/foundation/Error.hpp"
#include "platform/foundation/UserDefaults.hpp"

namespace Parlox {

KeepAwake::KeepAwake(std::shared_ptr<platform::desktop::PowerAssertion> power,
                     std::shared_ptr<platform::input::KeySynth> keys, std::shared_ptr<platform::Scheduler> scheduler)
    : power_(std::move(power)),
      keys_(std::move(keys)),
      scheduler_(std::move(scheduler)),
      isUnlocked_(platform::UserDefaults::standard().boolean(unlockedKey, false)) {}

KeepAwake::~KeepAwake() { stopHolding(); }

void KeepAwake::setUnlocked(bool unlocked) {
    platform::MainQueue::assertMainThread("KeepAwake");
    const bool changed = unlocked != isUnlocked_;
    isUnlocked_ = unlocked;
    platform::UserDefaults::standard().set(unlockedKey, unlocked);
    if (!unlocked) set(false);
    if (changed) changed_.emit();
}

void KeepAwake::set(bool on) {
    platform::MainQueue::assertMainThread("KeepAwake");
    if (on == isOn_) return;
    if (on) switchOn();
    else switchOff();
}

void KeepAwake::switchOn() {
    try {
        assertion_ = power_->preventDisplaySleep(assertionName);
    } catch (const std::exception& error) {
        Log::error("Mantener despierto: " + platform::localizedDescription(error));
        return;
    }
    nudgeTimer_ = scheduler_->every(nudgeInterval, [this] { nudgeIfIdle(); });
    Log::info("Mantener despierto: activado");
    isOn_ = true;
    changed_.emit();
}

void KeepAwake::switchOff() {
    stopHolding();
    Log::info("Mantener despierto: desactivado");
    isOn_ = false;
    changed_.emit();
}

void KeepAwake::stopHolding() {
    if (assertion_) power_->release(*assertion_);
    assertion_.reset();
    nudgeTimer_.cancel();
    nudgeTimer_ = {};
}

void KeepAwake::nudgeIfIdle() {
    if (power_->idleSeconds() < idleBeforeNudge) return;
    keys_->nudgePointer();
}

}  // namespace Parlox
