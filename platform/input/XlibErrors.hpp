#pragma once

#include <atomic>

typedef struct _XDisplay Display;

namespace platform::input {

// Xlib's default error handler ends the process, and windows of other
// programs may vanish between two requests. Every Xlib connection of ours
// calls this first so such an error is dropped instead. Idempotent.
void ignoreXlibErrors();

// Xlib also ends the process when a connection breaks (the X server ended
// or closed it). A connection handed here survives that: its requests fail
// from then on and `lost` turns true. `lost` must outlive the connection;
// forgetConnection() follows its XCloseDisplay().
void surviveConnectionLoss(Display* display, std::atomic<bool>& lost);
void forgetConnection(Display* display);

}  // namespace platform::input
