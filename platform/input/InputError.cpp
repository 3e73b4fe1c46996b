#include "platform/input/InputError.hpp"

namespace platform::input {

std::string InputError::description() const {
    switch (kind_) {
        case Kind::noDisplay: return "Cannot connect to the X display " + detail_;
        case Kind::noKeyboardExtension: return "The X server lacks the keyboard extension: " + detail_;
    }
    return detail_;
}

}  // namespace platform::input
