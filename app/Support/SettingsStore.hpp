#pragma once

#include <string>
#include <string_view>

namespace Parlox {

// What code outside the settings windows reads of the user's choices, with
// the defaults the windows show. Read afresh on every access from the
// standard user defaults; nothing here writes them.
struct SettingsStore {
    // "soundsEnabled", "screenContext", "showsMenuBarIcon": a stored boolean,
    // or a number that is exactly 0 or 1; true for anything else or nothing.
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
