#include "platform/desktop/DesktopError.hpp"

namespace platform::desktop {

std::string DesktopError::description() const {
    switch (kind_) {
        case Kind::unavailable:
            return "desktop service unavailable: " + detail_;
        case Kind::refused:
            return "refused by the desktop: " + detail_;
        case Kind::failed:
            return "desktop operation failed: " + detail_;
        case Kind::fileWriteFailed:
            return "could not write the file: " + detail_;
    }
    return detail_;
}

}  // namespace platform::desktop
