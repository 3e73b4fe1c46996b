#pragma once

namespace platform::input {

// True in a Wayland session that offers no X display: the X11 backends
// (synthetic keys, accessibility reads, clipboard, screenshots) cannot work
// there and say so instead of failing quietly.
bool waylandWithoutX11();

}  // namespace platform::input
