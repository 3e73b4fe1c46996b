#include "app/Insertion/HeldKeys.hpp"

#include "app/Support/Log.hpp"
#include "app/Support/Settle.hpp"
#include "platform/foundation/NumberFormat.hpp"

namespace Parlox {

bool HeldKeys::released(const DesktopServices& desktop, const char* action) {
    if (!desktop.keyboard || desktop.shortcutKeys.empty()) return true;
    auto& scheduler = *desktop.scheduler;
    const auto start = scheduler.uptime();
    int looks = 0;
    const bool up = Settle::within(scheduler, limit, [&] {
        ++looks;
        return !desktop.keyboard->anyDown(desktop.shortcutKeys);
    });
    if (looks == 1) return true;
    if (up)
        Log::info("Esperado " + platform::formatFixed(scheduler.secondsSince(start), 1) +
                  " s a que se soltara Esc o el atajo antes de " + action);
    else
        Log::info("Esc o el atajo siguen pulsados tras " + platform::formatFixed(limit, 0) + " s: sin " + action);
    return up;
}

}  // namespace Parlox
