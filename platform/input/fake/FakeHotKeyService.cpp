#include "platform/input/fake/FakeHotKeyService.hpp"

#include "platform/input/CarbonModifiers.hpp"

namespace platform::input {
namespace {

// Only the modifiers a display server can tell apart take part in matching.
int grabbable(int carbonModifiers) {
    return carbonModifiers & (carbon::command | carbon::shift | carbon::option | carbon::control);
}

}  // namespace

RegistrationResult FakeHotKeyService::registerHotKey(std::uint32_t hotKeyId, int carbonKeyCode,
                                                     int carbonModifiers) {
    ++registerCalls;
    if (takenElsewhere_.count({carbonKeyCode, grabbable(carbonModifiers)}))
        return {RegistrationStatus::takenByAnotherClient, "held by another client"};
    for (const auto& [id, r] : registered_)
        if (r.carbonKeyCode == carbonKeyCode &&
            grabbable(r.carbonModifiers) == grabbable(carbonModifiers))
            return {RegistrationStatus::alreadyRegistered, "already registered"};
    registered_[hotKeyId] = {carbonKeyCode, carbonModifiers};
    return {};
}

void FakeHotKeyService::unregisterHotKey(std::uint32_t hotKeyId) {
    ++unregisterCalls;
    registered_.erase(hotKeyId);
}

void FakeHotKeyService::takeByAnotherClient(int carbonKeyCode, int carbonModifiers) {
    takenElsewhere_.insert({carbonKeyCode, grabbable(carbonModifiers)});
}

void FakeHotKeyService::releaseByAnotherClient(int carbonKeyCode, int carbonModifiers) {
    takenElsewhere_.erase({carbonKeyCode, grabbable(carbonModifiers)});
}

bool FakeHotKeyService::press(int carbonKeyCode, int carbonModifiers) {
    if (held_.count(carbonKeyCode)) return false;  // auto-repeat: one press only
    for (const auto& [id, r] : registered_) {
        if (r.carbonKeyCode == carbonKeyCode &&
            grabbable(r.carbonModifiers) == grabbable(carbonModifiers)) {
            held_[carbonKeyCode] = id;
            if (handler_) handler_(id, HotKeyEventKind::pressed);
            return true;
        }
    }
    return false;
}

bool FakeHotKeyService::release(int carbonKeyCode) {
    auto it = held_.find(carbonKeyCode);
    if (it == held_.end()) return false;
    const auto id = it->second;
    held_.erase(it);
    if (handler_) handler_(id, HotKeyEventKind::released);
    return true;
}

bool FakeHotKeyService::tap(int carbonKeyCode, int carbonModifiers) {
    const bool took = press(carbonKeyCode, carbonModifiers);
    release(carbonKeyCode);
    return took;
}

bool FakeHotKeyService::isRegistered(int carbonKeyCode, int carbonModifiers) const {
    for (const auto& [id, r] : registered_)
        if (r.carbonKeyCode == carbonKeyCode &&
            grabbable(r.carbonModifiers) == grabbable(carbonModifiers))
            return true;
    return false;
}

}  // namespace platform::input
