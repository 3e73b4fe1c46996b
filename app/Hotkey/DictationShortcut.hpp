#pragma once

#include <optional>
#include <string>

namespace Parlox {

// The dictation shortcut as texts name it: the user's, written the way
// this desktop writes shortcuts ("Alt+Espacio"). Main thread only.
struct DictationShortcut {
    // None when the user has removed it; the default one until the hot-key
    // module is set up.
    static std::optional<std::string> name();
};

}  // namespace Parlox
