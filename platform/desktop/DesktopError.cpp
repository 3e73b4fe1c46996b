#include "platform/desktop/DesktopError.hpp"

namespace platform::desktop {

std::string DesktopError::description() const {
    switch (kind_) {
        case Kind::noDisplay: return "No X display: " + detail_;
        case Kind::waylandSession: return "Wayland session: " + detail_;
        case Kind::noSessionBus: return "No D-Bus session bus: " + detail_;
        case Kind::serviceMissing: return "D-Bus service missing: " + detail_;
        case Kind::helperFailed: return "Clipboard helper failed: " + detail_;
        case Kind::writeFailed: return "Write failed: " + detail_;
    }
    return detail_;
}

std::string DesktopError::localizedDescription() const {
    switch (kind_) {
        case Kind::noDisplay: return "No hay pantalla X11 disponible.";
        case Kind::waylandSession: return "La sesión es Wayland; Parlox solo funciona en X11.";
        case Kind::noSessionBus: return "No hay bus de sesión D-Bus.";
        case Kind::serviceMissing: return "El servicio del escritorio no está disponible: " + detail_;
        case Kind::helperFailed: return "No se pudo tomar el portapapeles.";
        case Kind::writeFailed: return "No se pudo escribir: " + detail_;
    }
    return detail_;
}

}  // namespace platform::desktop
