#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

typedef struct _XDisplay Display;

namespace platform::desktop {

// A window's own pixels as 32-bit 0xffRRGGBB rows, top row first.
struct WindowPixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

// Reads what a window itself shows, never what covers it: the window is
// redirected to off-screen storage (the compositing extension keeps a copy
// of each redirected window, covered or not), and its parts that were covered
// until then are read only once the window's program has drawn them again
// (the damage extension reports its drawing). Not thread-safe; uses the
// connection it is given.
class X11WindowContents {
public:
    // Throws DesktopError (unavailable) when the X server lacks either extension.
    explicit X11WindowContents(Display* display);

    // The window's pixels, without its border. Throws DesktopError (failed)
    // when the window is gone or not on screen, or when its program has not
    // drawn its covered parts within `repaintLimit`: another window's pixels
    // are never handed out in its place.
    WindowPixels read(unsigned long window, std::chrono::milliseconds repaintLimit);

private:
    Display* display_;
    int damageEventBase_ = 0;
};

}  // namespace platform::desktop
