#pragma once

#include <string>

namespace Parlox {

// What code outside the settings windows reads of the user's choices, with
// the defaults the windows show. Read afresh on every access.
struct SettingsStore {
    // "personalInstructions"; the prompt builder's default when absent. A stored
    // empty text is used as it is.
    static std::string personalInstructions();
};

}  // namespace Parlox
