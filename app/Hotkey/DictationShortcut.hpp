#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/concurrency/Signal.hpp"

namespace Parlox {

// The dictation shortcut as texts name it: the user's, written the way
// this desktop writes shortcuts ("Alt+Espacio"). Main thread only.
struct DictationShortcut {
    // What the texts that name the shortcut say when there is none.
    static constexpr const char* missingNote = "Sin atajo no puedes llamar a Parlox: elige uno aquí.";

    // None when the user has removed it; the default one until the hot-key
    // module is set up.
    static std::optional<std::string> name();
    // Calls `changed` whenever the user sets, changes or removes it.
    static platform::Connection onChange(std::function<void()> changed);
};

}  // namespace Parlox
