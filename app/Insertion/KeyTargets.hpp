#pragma once

#include <optional>

#include "app/Context/CapturedContext.hpp"
#include "platform/accessibility/Accessibility.hpp"
#include "platform/desktop/Workspace.hpp"
#include "platform/input/KeySynth.hpp"

namespace Parlox {

// Which editing keys a program may be sent. A terminal is known by its
// focused element's role, by a known terminal's window class, or by what
// the program is: one that holds a pseudo-terminal's master side drives a
// terminal. When such a program shows a text field instead (an editor with
// a terminal inside), it may still be a terminal: it keeps its own paste
// key but gets no copy or undo key. So does a program in doubt: one whose
// helper holds the master side, or whose files cannot be read.
platform::input::KeyTarget keyTargetFor(const platform::accessibility::ElementRef& element,
                                        const std::optional<platform::desktop::RunningApplication>& app);

// Whether an answer for these keys is handled as a terminal's: no text of
// several lines is pasted and no undo follows. So is the answer for a
// program in doubt, unless its focus is a field whose text was read over
// accessibility (the undo can check that text before it touches it);
// elsewhere its focus may well be a terminal's.
bool takenAsTerminal(platform::input::KeyTarget keys, const CapturedContext& context);

}  // namespace Parlox
