#pragma once

#include <optional>

#include "platform/accessibility/Accessibility.hpp"
#include "platform/desktop/Workspace.hpp"
#include "platform/input/KeySynth.hpp"

namespace Parlox {

// A terminal gets its own editing keys: the focused element says it is one,
// or the application is a terminal emulator.
platform::input::KeyTarget keyTargetFor(const platform::accessibility::ElementRef& element,
                                        const std::optional<platform::desktop::RunningApplication>& app);

}  // namespace Parlox
