#include "platform/input/XlibErrors.hpp"

#include <X11/Xlib.h>

#include <mutex>
#include <set>

namespace platform::input {

namespace {

struct Survivors {
    std::mutex mutex;
    std::set<Display*> displays;
    XIOErrorHandler previous = nullptr;
};

Survivors& survivors() {
    static Survivors instance;
    return instance;
}

// Returning lets Xlib go on to the connection's own exit handler; the
// connections of others keep the handler that was there before.
int onConnectionBroken(Display* display) {
    XIOErrorHandler previous = nullptr;
    {
        auto& all = survivors();
        std::lock_guard lock(all.mutex);
        if (all.displays.count(display) != 0) return 0;
        previous = all.previous;
    }
    return previous != nullptr ? previous(display) : 0;
}

}  // namespace

void ignoreXlibErrors() {
    static std::once_flag once;
    std::call_once(once, [] { XSetErrorHandler([](Display*, XErrorEvent*) { return 0; }); });
}

void surviveConnectionLoss(Display* display, std::atomic<bool>& lost) {
    auto& all = survivors();
    std::lock_guard lock(all.mutex);
    all.displays.insert(display);
    // Installed again each time: a toolkit may have put its own in place meanwhile.
    const XIOErrorHandler current = XSetIOErrorHandler(onConnectionBroken);
    if (current != onConnectionBroken) all.previous = current;
    XSetIOErrorExitHandler(
        display, [](Display*, void* flag) { static_cast<std::atomic<bool>*>(flag)->store(true); }, &lost);
}

void forgetConnection(Display* display) {
    auto& all = survivors();
    std::lock_guard lock(all.mutex);
    all.displays.erase(display);
}

}  // namespace platform::input
