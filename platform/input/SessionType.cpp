#include "platform/input/SessionType.hpp"

#include <cstdlib>
#include <cstring>

namespace platform::input {

bool waylandWithoutX11() {
    const char* type = std::getenv("XDG_SESSION_TYPE");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* display = std::getenv("DISPLAY");
    const bool isWayland = (type != nullptr && std::strcmp(type, "wayland") == 0) || (wayland != nullptr && *wayland != '\0');
    return isWayland && (display == nullptr || *display == '\0');
}

}  // namespace platform::input
