#pragma once

#include <memory>
#include <vector>

#include "platform/accessibility/Accessibility.hpp"
#include "platform/concurrency/Scheduler.hpp"
#include "platform/desktop/Pasteboard.hpp"
#include "platform/desktop/Workspace.hpp"
#include "platform/input/KeyboardState.hpp"
#include "platform/input/KeySynth.hpp"

namespace Parlox {

// The desktop as the capture, insertion and undo steps reach it. Their
// operations block (waits, requests to other applications) and run off the
// main thread, in the scheduler's background jobs.
struct DesktopServices {
    std::shared_ptr<platform::Scheduler> scheduler;
    std::shared_ptr<platform::accessibility::Accessibility> accessibility;
    std::shared_ptr<platform::desktop::Workspace> workspace;
    std::shared_ptr<platform::desktop::Pasteboard> pasteboard;
    std::shared_ptr<platform::input::KeySynth> keys;
    // Which keys are down; none: no key counts as down.
    std::shared_ptr<platform::input::KeyboardState> keyboard;
    // The keys of Parlox's own shortcuts (Carbon key codes). Each is grabbed
    // from every program: while one is down, the display server hands every
    // key Parlox sends to that grab, not to the program.
    std::vector<int> shortcutKeys;
};

}  // namespace Parlox
