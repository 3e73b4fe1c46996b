#include "app/Interface/WindowPermissions.hpp"

#include <QMessageBox>

#include "app/Interface/WindowParts.hpp"
#include "app/Support/ScreenContextConsent.hpp"
#include "platform/desktop/SystemSettings.hpp"

namespace Parlox {

using platform::accessibility::TrustGap;

namespace {

bool missing(PermissionState state) { return state != PermissionState::granted && state != PermissionState::unknown; }

// While the assistive technologies are off: how to turn them on.
QString switchedOff(bool bySettings) {
    return bySettings ? QStringLiteral("Las tecnologías de asistencia siguen apagadas: enciéndelas en los ajustes y "
                                       "vuelve a entrar en la sesión.")
                      : QStringLiteral("Las tecnologías de asistencia están apagadas: «Activar» las enciende. Las apps "
                                       "ya abiertas, vuelve a abrirlas.");
}

QString noX11Session() {
    return QStringLiteral("Esta sesión no es X11: elige una sesión X11 al entrar en el escritorio.");
}

}  // namespace

PermissionState WindowPermissions::microphone() const {
    if (!services_.audio) return FakePermissions::state("microphone").value_or(PermissionState::unknown);
    return MicrophonePermission::state(*services_.audio);
}

PermissionState WindowPermissions::screenRecording() const {
    if (!services_.screenshots)
        return ScreenRecordingPermission::knownWithoutDesktop().value_or(PermissionState::unknown);
    return ScreenRecordingPermission::state(*services_.screenshots);
}

WindowPermissions::AccessibilityCheck WindowPermissions::checkAccessibility() const {
    if (!services_.accessibility)
        return {FakePermissions::state("accessibility").value_or(PermissionState::unknown), TrustGap::none};
    // A slow desktop keeps the row as last answered; unknown until the first answer.
    const TrustGap gap = services_.accessibility->lastKnownTrustGap();
    const PermissionState state = AccessibilityPermission::state(gap);
    if (state == PermissionState::granted || state == PermissionState::unknown) return {state, TrustGap::none};
    // Missing by the debug override alone: the switch is what a user would find off.
    return {state, platform::accessibility::isMissing(gap) ? gap : TrustGap::assistiveTechnologiesOff};
}

bool WindowPermissions::hasSettings(const char* anchor) const {
    return services_.systemSettings && services_.systemSettings->hasPrivacySettings(anchor);
}

PermissionReading WindowPermissions::readMicrophone() const {
    PermissionReading reading{microphone(),
                              QStringLiteral("Para oírte mientras dictas, con un micrófono del servidor de sonido.")};
    if (!missing(reading.state)) return reading;
    const bool serverAnswers = !services_.audio || services_.audio->inputDevices().has_value();
    reading.detail = serverAnswers
                         ? QStringLiteral("El servidor de sonido no tiene micrófono: conecta uno o actívalo.")
                         : QStringLiteral("No contesta ningún servidor de sonido: arranca PulseAudio o PipeWire.");
    reading.offersSettings = hasSettings(microphoneAnchor);
    return reading;
}

PermissionReading WindowPermissions::readAccessibility() const {
    const AccessibilityCheck check = checkAccessibility();
    PermissionReading reading{check.state, QStringLiteral("Para leer lo que tienes seleccionado y pegar el "
                                                          "resultado, con las tecnologías de asistencia del "
                                                          "escritorio.")};
    switch (check.gap) {
        case TrustGap::none:
        case TrustGap::noAnswer:
            break;
        case TrustGap::assistiveTechnologiesOff:
            // Once asked, the desktop's own page is the way, where it has one.
            reading.offersSettings = reading.state == PermissionState::denied && hasSettings(accessibilityAnchor);
            reading.offersRequest = !reading.offersSettings;
            reading.detail = switchedOff(reading.offersSettings);
            break;
        case TrustGap::noAccessibilityBus:
            reading.detail = QStringLiteral("La sesión no tiene el bus de accesibilidad (at-spi2-core): instálalo y "
                                            "vuelve a entrar en la sesión.");
            break;
        case TrustGap::noSyntheticKeys:
            reading.detail = QStringLiteral("Al servidor X le falta la extensión XTEST, con la que Parlox pega: "
                                            "actívala en su configuración.");
            break;
        case TrustGap::noX11Session:
            reading.detail = noX11Session();
            break;
    }
    return reading;
}

PermissionReading WindowPermissions::readWindowPicture() const {
    const QString sent = QStringLiteral("manda una imagen de la ventana en la que escribes a Codex o Claude Code, "
                                        "que la envían a su servicio.");
    PermissionReading reading{screenRecording(),
                              QStringLiteral("Cada dictado ") + sent + QStringLiteral(" Se apaga en Ajustes › Redacción.")};
    if (reading.state == PermissionState::notAsked) {
        // Nothing goes yet: the line must not read as if it did.
        reading.detail = QStringLiteral("Si lo activas, cada dictado ") + sent;
        reading.offersRequest = true;
    } else if (missing(reading.state)) {
        // Said yes, but nothing to open: only an X11 session shows windows.
        reading.detail = noX11Session();
    }
    return reading;
}

void WindowPermissions::requestAccessibility() const {
    if (services_.accessibility) AccessibilityPermission::request(*services_.accessibility);
}

void WindowPermissions::allowWindowPicture() const {
    if (services_.screenshots)
        ScreenRecordingPermission::request(*services_.screenshots);
    else
        ScreenContextConsent::give();
}

void WindowPermissions::openSettings(const std::string& anchor, QWidget* parent) const {
    if (services_.systemSettings && openPrivacySettings(*services_.systemSettings, anchor)) return;
    const QString message = whatToDo(anchor);
    if (services_.explain) {
        services_.explain(parent, message);
        return;
    }
    QMessageBox box(QMessageBox::Information, QStringLiteral("Parlox"), message, QMessageBox::NoButton, parent);
    WindowParts::addAcceptButton(box);
    box.exec();
}

std::function<void()> WindowPermissions::settingsOpener(const char* anchor, QWidget* parent) const {
    if (anchor == nullptr) return {};
    return [this, anchor, parent] { openSettings(anchor, parent); };
}

QString WindowPermissions::whatToDo(const std::string& anchor) {
    if (anchor == microphoneAnchor)
        return QStringLiteral("No he podido abrir los ajustes de sonido del escritorio. Comprueba en ellos que hay "
                              "un micrófono conectado y que no está silenciado, y vuelve a Parlox.");
    return QStringLiteral("No he podido abrir los ajustes de accesibilidad del escritorio. Enciende en ellos las "
                          "tecnologías de asistencia, cierra la sesión y vuelve a entrar.");
}

}  // namespace Parlox
