#include "app/Interface/WindowPermissions.hpp"

#include <QMessageBox>

#include "platform/desktop/SystemSettings.hpp"
#include "platform/foundation/UserDefaults.hpp"

namespace Parlox {

PermissionState WindowPermissions::microphone() const {
    if (!services_.audio) return FakePermissions::state("microphone").value_or(PermissionState::unknown);
    return MicrophonePermission::state(*services_.audio);
}

PermissionState WindowPermissions::accessibility() const {
    if (!services_.accessibility) return FakePermissions::state("accessibility").value_or(PermissionState::unknown);
    return AccessibilityPermission::state(*services_.accessibility);
}

PermissionState WindowPermissions::screenRecording() const {
    if (!services_.screenshots)
        return FakePermissions::state("screenRecording").value_or(PermissionState::unknown);
    return ScreenRecordingPermission::state(*services_.screenshots);
}

void WindowPermissions::requestMicrophone(std::function<void(bool)> answered) const {
    if (!services_.audio || !services_.scheduler) return;
    MicrophonePermission::request(services_.audio, services_.scheduler, std::move(answered));
}

void WindowPermissions::requestAccessibility() const {
    if (services_.accessibility) AccessibilityPermission::request(*services_.accessibility);
}

void WindowPermissions::requestScreenRecording() const {
    if (services_.screenshots) {
        ScreenRecordingPermission::request(*services_.screenshots);
        return;
    }
    platform::UserDefaults::standard().set("askedForScreenRecording", true);
}

void WindowPermissions::openSettings(const std::string& anchor, QWidget* parent) const {
    if (services_.systemSettings && openPrivacySettings(*services_.systemSettings, anchor)) return;
    const QString message = whatToDo(anchor);
    if (services_.explain) {
        services_.explain(parent, message);
        return;
    }
    QMessageBox box(QMessageBox::Information, QStringLiteral("Parlox"), message, QMessageBox::NoButton, parent);
    // The toolkit's own button would read "OK".
    box.setDefaultButton(box.addButton(QStringLiteral("Aceptar"), QMessageBox::AcceptRole));
    box.exec();
}

QString WindowPermissions::whatToDo(const std::string& anchor) {
    if (anchor == microphoneAnchor)
        return QStringLiteral("Este escritorio no tiene ajustes del micrófono que Parlox pueda abrir. Comprueba en "
                              "los ajustes de sonido que hay un micrófono conectado y que no está silenciado, y "
                              "vuelve a Parlox.");
    if (anchor == accessibilityAnchor)
        return QStringLiteral("Este escritorio no tiene ajustes de Accesibilidad que Parlox pueda abrir. Activa "
                              "las tecnologías de asistencia en los ajustes de accesibilidad del escritorio, cierra "
                              "la sesión y vuelve a entrar.");
    return QStringLiteral("Este escritorio no tiene ajustes de grabación de pantalla que Parlox pueda abrir. En una "
                          "sesión X11 no hace falta permiso; en otra, entra en una sesión X11 para usar el contexto "
                          "de la pantalla.");
}

}  // namespace Parlox
