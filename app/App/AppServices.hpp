#pragma once

#include <functional>
#include <memory>

#include "GlobalKeyBindings/GlobalKeyBindings.hpp"
#include "app/Interface/WriterChecker.hpp"
#include "app/Support/DesktopServices.hpp"
#include "app/Transcription/Transcriber.hpp"
#include "platform/audio/AudioSystem.hpp"
#include "platform/audio/SystemSounds.hpp"
#include "platform/desktop/ApplicationMenuEntry.hpp"
#include "platform/desktop/LoginItem.hpp"
#include "platform/desktop/Notifier.hpp"
#include "platform/desktop/PowerAssertion.hpp"
#include "platform/desktop/SystemSettings.hpp"
#include "platform/desktop/UpdateService.hpp"
#include "platform/desktop/WindowScreenshot.hpp"

namespace Parlox {

// Every service the application runs on: the desktop's own in the
// application, fakes in tests.
struct AppServices {
    DesktopServices desktop;  // scheduler, accessibility, workspace, pasteboard, keys
    std::shared_ptr<platform::desktop::WindowScreenshot> screenshots;
    std::shared_ptr<platform::audio::AudioSystem> audio;
    std::shared_ptr<platform::audio::SystemSounds> sounds;
    std::shared_ptr<Transcriber> transcriber;
    std::shared_ptr<platform::desktop::UpdateService> updates;
    std::shared_ptr<platform::desktop::Notifier> notifier;
    std::shared_ptr<platform::desktop::LoginItem> loginItem;
    std::shared_ptr<platform::desktop::PowerAssertion> power;
    std::shared_ptr<platform::desktop::SystemSettings> systemSettings;
    // The global hot keys' services, installed at launch.
    GlobalKeyBindings::Environment hotKeys;
    // How the windows set up and test the writing tools; the real tools when empty.
    std::shared_ptr<WriterChecker> writerChecker;
    // Parlox's place in the desktop's application menu; none: left alone.
    std::shared_ptr<platform::desktop::ApplicationMenuEntry> menuEntry;
    // Whether the desktop has a system tray for the icon; the toolkit's answer when empty.
    std::function<bool()> trayAvailable;
};

}  // namespace Parlox
