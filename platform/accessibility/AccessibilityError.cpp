#include "platform/accessibility/AccessibilityError.hpp"

namespace platform::accessibility {

std::string AccessibilityError::description() const {
    switch (kind_) {
        case Kind::noSessionBus: return "No D-Bus session bus: " + detail_;
        case Kind::noAccessibilityBus: return "No accessibility bus: " + detail_;
        case Kind::waylandSession: return "Wayland session: " + detail_;
        case Kind::noAnswer: return "No answer in time: " + detail_;
    }
    return detail_;
}

std::string AccessibilityError::localizedDescription() const {
    switch (kind_) {
        case Kind::noSessionBus: return "No hay bus de sesión D-Bus: la accesibilidad no está disponible.";
        case Kind::noAccessibilityBus: return "El bus de accesibilidad (AT-SPI) no está disponible.";
        case Kind::waylandSession: return "La sesión es Wayland; la accesibilidad de Parlox solo funciona en X11.";
        case Kind::noAnswer: return "El bus de accesibilidad no ha contestado a tiempo.";
    }
    return detail_;
}

}  // namespace platform::accessibility
