#pragma once

#include "platform/desktop/LoginItem.hpp"

namespace Parlox {

// Whether Parlox opens when the user logs in: registered once, on the first
// launch, and then left to the user's choice in the settings.
struct LoginItem {
    static constexpr const char* askedKey = "hasAskedForLoginItem";

    static bool isEnabled(platform::desktop::LoginItem& item);
    // A change the desktop refuses is logged; the next read shows its real state.
    static void setEnabled(platform::desktop::LoginItem& item, bool enabled);
    // On the first launch (no "hasAskedForLoginItem" yet in the standard user
    // defaults): notes that it asked, then registers. The note comes first, so
    // a failed registration is not tried again at later launches.
    static void enableOnFirstRun(platform::desktop::LoginItem& item);
};

}  // namespace Parlox
