#pragma once

#include <string>
#include <string_view>

namespace Parlox {

// The one reading of the user's choices, for the settings windows and the
// code that acts on them alike, with the defaults the windows show. Read
// afresh on every access from the standard user defaults; nothing here
// writes them.
struct SettingsStore {
    // "soundsEnabled", "screenContext", "showsMenuBarIcon": a stored boolean,
    // a number (0 is false, any other true), or a text a hand-edited file may
    // hold ("true", "yes", "1", "false", "no", "0", in any case); true for
    // anything else or nothing.
    static bool soundsEnabled();
    static bool screenContext();
    static bool showsMenuBarIcon();

    // "personalInstructions"; the prompt builder's default when absent. A stored
    // empty text is used as it is.
    static std::string personalInstructions();

private:
    static bool flag(std::string_view key);
};

}  // namespace Parlox
