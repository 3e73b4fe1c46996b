#include "platform/input/XlibErrors.hpp"

#include <X11/Xlib.h>

#include <mutex>

namespace platform::input {

void ignoreXlibErrors() {
    static std::once_flag once;
    std::call_once(once, [] { XSetErrorHandler([](Display*, XErrorEvent*) { return 0; }); });
}

}  // namespace platform::input
