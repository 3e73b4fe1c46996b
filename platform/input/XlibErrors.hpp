#pragma once

namespace platform::input {

// Xlib's default error handler ends the process, and windows of other
// programs may vanish between two requests. Every Xlib connection of ours
// calls this first so such an error is dropped instead. Idempotent.
void ignoreXlibErrors();

}  // namespace platform::input
