#pragma once

namespace Parlox {

// The user's yes to sending the picture of the front window with each
// request to the writing tool, which passes it on to its service. Kept as
// "screenContextAllowed" (absent: no) next to the switch's "screenContext";
// pictures go only with both. A "screenContext" stored before anyone asked
// was never a yes, so on its own it sends nothing.
struct ScreenContextConsent {
    static constexpr const char* key = "screenContextAllowed";

    static bool given();
    // Both keys on: the welcome's "Activar" and the Writing tab's switch.
    static void give();
    // Both keys off: the switch turned off. Pictures stop with the next look.
    static void withdraw();
};

}  // namespace Parlox
