#include "app/App/LinuxDesktop.hpp"

#include <cstdlib>

#include "app/Support/X11DesktopServices.hpp"
#include "platform/audio/CanberraSystemSounds.hpp"
#include "platform/desktop/DBusNotifier.hpp"
#include "platform/desktop/DBusPowerAssertion.hpp"
#include "platform/desktop/DesktopError.hpp"
#include "platform/desktop/NoUpdateService.hpp"
#include "platform/desktop/X11Desktop.hpp"
#include "platform/desktop/X11WindowScreenshot.hpp"
#include "platform/desktop/XdgApplicationMenuEntry.hpp"
#include "platform/desktop/XdgAutostartLoginItem.hpp"
#include "platform/desktop/XdgSystemSettings.hpp"
#include "platform/foundation/UserDefaults.hpp"
#include "platform/input/X11HotKeyService.hpp"
#include "platform/input/X11KeyLayout.hpp"

namespace Parlox {

void LinuxDesktop::requireDisplay() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform) return;
    platform::desktop::X11Desktop::requireX11();
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display)
        throw platform::desktop::DesktopError(platform::desktop::DesktopError::Kind::unavailable,
                                              "no X display to run on (DISPLAY is not set)");
    // A display that is named but not there (a stopped server, a closed
    // remote session): one connection tells, and closes again.
    platform::desktop::X11Desktop probe;
}

AppServices LinuxDesktop::services(std::shared_ptr<Transcriber> transcriber) {
    platform::desktop::X11Desktop::requireX11();
    AppServices services;
    services.desktop = x11DesktopServices();
    services.screenshots = std::make_shared<platform::desktop::X11WindowScreenshot>();
    services.audio = platform::audio::makePulseAudioSystem();
    services.sounds = std::make_shared<platform::audio::CanberraSystemSounds>();
    services.transcriber = std::move(transcriber);
    services.updates = std::make_shared<platform::desktop::NoUpdateService>();
    services.notifier = std::make_shared<platform::desktop::DBusNotifier>();
    services.loginItem = std::make_shared<platform::desktop::XdgAutostartLoginItem>();
    services.menuEntry = std::make_shared<platform::desktop::XdgApplicationMenuEntry>();
    services.power = std::make_shared<platform::desktop::DBusPowerAssertion>();
    services.systemSettings = std::make_shared<platform::desktop::XdgSystemSettings>();
    services.hotKeys = GlobalKeyBindings::Environment{
        platform::UserDefaults::standardShared(),
        std::make_shared<platform::input::X11HotKeyService>(),
        std::make_shared<platform::input::X11KeyLayout>(),
        nullptr,
    };
    return services;
}

}  // namespace Parlox
