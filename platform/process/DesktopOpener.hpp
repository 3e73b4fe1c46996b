#pragma once

#include <string>

namespace platform::process {

// Hands `target` (an address or a file) to the desktop's default handler
// through xdg-open and returns without waiting. Throws ProcessError when
// xdg-open cannot be started.
void openWithDesktop(const std::string& target);

}  // namespace platform::process
