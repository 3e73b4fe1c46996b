#pragma once

#include <functional>
#include <memory>
#include <string>

#include <QString>

#include "app/Interface/WriterActions.hpp"
#include "app/Interface/WriterChecker.hpp"
#include "app/Transcription/Transcriber.hpp"
#include "platform/concurrency/Signal.hpp"

class QWidget;

namespace platform {
class Scheduler;
namespace accessibility {
class Accessibility;
}
namespace audio {
class AudioSystem;
class SystemSounds;
}  // namespace audio
namespace desktop {
class LoginItem;
class SystemSettings;
class WindowScreenshot;
class Workspace;
}  // namespace desktop
}  // namespace platform

namespace Parlox {

class KeepAwakeSwitch;
class Updater;

// What the welcome and settings windows use of the rest of the application,
// handed to them by the application shell: the speech model's state, the
// desktop services behind the permissions, the login item and the model
// folder, the updater, the sounds, the system tray and the writing-tool checks.
struct WindowServices {
    // The speech model's state, and the signal that announces each change.
    std::function<Transcriber::State()> modelState = [] { return Transcriber::State::idle(); };
    platform::Signal<>* modelChanged = nullptr;

    std::shared_ptr<platform::audio::AudioSystem> audio;
    std::shared_ptr<platform::accessibility::Accessibility> accessibility;
    std::shared_ptr<platform::desktop::WindowScreenshot> screenshots;
    std::shared_ptr<platform::desktop::SystemSettings> systemSettings;
    std::shared_ptr<platform::desktop::Workspace> workspace;
    std::shared_ptr<platform::desktop::LoginItem> loginItem;
    std::shared_ptr<platform::audio::SystemSounds> sounds;
    std::shared_ptr<platform::Scheduler> scheduler;
    Updater* updater = nullptr;
    // The hidden keep-awake feature; without one it reads as locked and off.
    KeepAwakeSwitch* keepAwake = nullptr;
    // Whether the desktop has a system tray to show Parlox's icon in; one is
    // assumed when empty.
    std::function<bool()> hasTray;

    std::shared_ptr<WriterChecker> writerChecker = WriterChecker::background();
    WriterActions writerActions = WriterActions::system();

    // Tells the user something the desktop cannot do for them; a message box
    // unless replaced (tests).
    std::function<void(QWidget* parent, const QString& message)> explain;
};

}  // namespace Parlox
