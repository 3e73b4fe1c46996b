#include "platform/input/XTestKeySynth.hpp"

#include "platform/input/InputError.hpp"
#include "platform/input/SessionType.hpp"
#include "platform/input/XTestInput.hpp"
#include "platform/log/SystemLog.hpp"

namespace platform::input {

namespace {

const SystemLogger& log() {
    static const SystemLogger logger("Parlox", "input");
    return logger;
}

}  // namespace

XTestKeySynth::XTestKeySynth() = default;
XTestKeySynth::~XTestKeySynth() = default;

XTestInput* XTestKeySynth::input() {
    if (input_) return input_.get();
    if (failed_) return nullptr;
    failed_ = true;
    if (waylandWithoutX11()) {
        log().error("Wayland session: synthetic keys need X11; nothing is posted");
        return nullptr;
    }
    try {
        input_ = std::make_unique<XTestInput>();
        failed_ = false;
    } catch (const InputError& e) {
        log().error("Synthetic keys unavailable: " + e.description());
    }
    return input_.get();
}

bool XTestKeySynth::shortcut(const std::vector<std::string>& modifiers, const char* key) {
    std::lock_guard lock(mutex_);
    XTestInput* x = input();
    if (x == nullptr) return false;
    x->releaseHeldModifiers();
    return x->tap(modifiers, key);
}

bool XTestKeySynth::copy(KeyTarget target) {
    if (target != KeyTarget::ordinary) return false;
    return shortcut({"Control_L"}, "c");
}

void XTestKeySynth::paste(KeyTarget target) {
    if (target == KeyTarget::terminal)
        shortcut({"Shift_L"}, "Insert");
    else
        shortcut({"Control_L"}, "v");
}

bool XTestKeySynth::undo(KeyTarget target) {
    if (target != KeyTarget::ordinary) return false;
    return shortcut({"Control_L"}, "z");
}

void XTestKeySynth::deleteBackward() {
    std::lock_guard lock(mutex_);
    XTestInput* x = input();
    if (x == nullptr) return;
    x->releaseHeldModifiers();
    x->tap({}, "BackSpace");
}

void XTestKeySynth::nudgePointer() {
    std::lock_guard lock(mutex_);
    XTestInput* x = input();
    if (x == nullptr) return;
    const auto at = x->pointer();
    if (!at) return;
    x->movePointer(at->first + 1, at->second);
    x->movePointer(at->first, at->second);
}

}  // namespace platform::input
