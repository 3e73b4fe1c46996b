#pragma once

#include <memory>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QLabel>
#include <QTest>
#include <QWidget>

#include "GlobalKeyBindings/GlobalKeyBindings.hpp"
#include "app/Hotkey/HotkeyManager.hpp"
#include "app/Interface/WindowServices.hpp"
#include "app/Support/ScreenContextConsent.hpp"
#include "app/System/Permissions.hpp"
#include "platform/accessibility/fake/FakeAccessibility.hpp"
#include "platform/audio/fake/FakeAudioSystem.hpp"
#include "platform/audio/fake/FakeSystemSounds.hpp"
#include "platform/concurrency/MainRunLoop.hpp"
#include "platform/concurrency/fake/ManualScheduler.hpp"
#include "platform/desktop/fake/FakeLoginItem.hpp"
#include "platform/desktop/fake/FakeSystemSettings.hpp"
#include "platform/desktop/fake/FakeWindowScreenshot.hpp"
#include "platform/desktop/fake/FakeWorkspace.hpp"
#include "platform/input/fake/FakeHotKeyService.hpp"
#include "platform/input/fake/FixedUSKeyLayout.hpp"
#include "tests/app/Interface/InterfaceTestSupport.hpp"
#include "tests/app/ui/QtTestSupport.hpp"

namespace interface_test {

// What Parlox finds on the desktop, as the windows read it.
struct DesktopState {
    const char* name;
    platform::audio::RecordPermission microphone = platform::audio::RecordPermission::granted;
    bool trusted = true;
    platform::accessibility::TrustGap gap = platform::accessibility::TrustGap::assistiveTechnologiesOff;
    bool asked = false;  // the assistive technologies were asked for before
    bool windows = true;
    std::vector<std::string> pages = {"Privacy_Microphone", "Privacy_Accessibility"};
    bool tray = true;
    bool pictureAllowed = false;  // the user said yes to the window picture
    bool soundServer = true;      // a sound server answers
};

// The windows on fakes: in-memory settings, the desktop services, scripted
// writing-tool checks, recorded outside steps and the hot keys installed.
class WindowFixture : public ::testing::Test {
protected:
    void arrange(const DesktopState& state) {
        audio->permissionStatus = state.microphone;
        accessibility->trusted = state.trusted;
        accessibility->untrustedBecause = state.gap;
        settings->set("askedForAccessibility", state.asked);
        screenshots->allowed = state.windows;
        settings->set(Parlox::ScreenContextConsent::key, state.pictureAllowed);
        audio->devices = state.soundServer ? std::optional(std::vector<platform::audio::InputDevice>{}) : std::nullopt;
        systemSettings->pages = state.pages;
        services.hasTray = [tray = state.tray] { return tray; };
    }

    void SetUp() override {
        ui_test::application();
        platform::MainQueue::shared().bindToCurrentThread();
        Parlox::FakePermissions::reload();
        GlobalKeyBindings::install({settings.shared(), std::make_shared<platform::input::FakeHotKeyService>(),
                                    std::make_shared<platform::input::FixedUSKeyLayout>(), nullptr});
        GlobalKeyBindings::declare(Parlox::HotkeyManager::toggleRecording());
        services.modelState = [this] { return model; };
        services.modelChanged = &modelChanged;
        services.audio = audio;
        services.accessibility = accessibility;
        services.screenshots = screenshots;
        services.systemSettings = systemSettings;
        services.workspace = workspace;
        services.loginItem = loginItem;
        services.sounds = sounds;
        services.scheduler = scheduler;
        services.writerChecker = checker;
        services.writerActions = recorded.actions();
        services.explain = [this](QWidget*, const QString& message) { explained.push_back(message); };
    }
    void TearDown() override {
        GlobalKeyBindings::uninstall();
        platform::MainRunLoop::drainMain();
        Parlox::FakePermissions::reload();
    }

    void setModel(const Parlox::Transcriber::State& state) {
        model = state;
        modelChanged();
    }

    Settings settings;
    Parlox::Transcriber::State model = Parlox::Transcriber::State::loading();
    platform::Signal<> modelChanged;
    std::shared_ptr<platform::audio::FakeAudioSystem> audio = std::make_shared<platform::audio::FakeAudioSystem>();
    std::shared_ptr<platform::accessibility::FakeAccessibility> accessibility =
        std::make_shared<platform::accessibility::FakeAccessibility>();
    std::shared_ptr<platform::desktop::FakeWindowScreenshot> screenshots =
        std::make_shared<platform::desktop::FakeWindowScreenshot>();
    std::shared_ptr<platform::desktop::FakeSystemSettings> systemSettings =
        std::make_shared<platform::desktop::FakeSystemSettings>();
    std::shared_ptr<platform::desktop::FakeWorkspace> workspace = std::make_shared<platform::desktop::FakeWorkspace>();
    std::shared_ptr<platform::desktop::FakeLoginItem> loginItem = std::make_shared<platform::desktop::FakeLoginItem>();
    std::shared_ptr<platform::audio::FakeSystemSounds> sounds = std::make_shared<platform::audio::FakeSystemSounds>();
    std::shared_ptr<platform::ManualScheduler> scheduler = std::make_shared<platform::ManualScheduler>();
    std::shared_ptr<FakeWriterChecker> checker = std::make_shared<FakeWriterChecker>();
    RecordedActions recorded;
    std::vector<QString> explained;
    Parlox::WindowServices services;
};

// Every text shown by the labels and buttons under `root`, visible or not.
inline QStringList textsIn(const QWidget& root, bool visibleOnly = true) {
    QStringList texts;
    for (const QLabel* label : root.findChildren<QLabel*>())
        if (!visibleOnly || label->isVisibleTo(&root)) texts << label->text();
    for (const QAbstractButton* button : root.findChildren<QAbstractButton*>())
        if (!visibleOnly || button->isVisibleTo(&root)) texts << button->text();
    return texts;
}

// The visible button with this title under `root`, if any.
inline QAbstractButton* buttonTitled(const QWidget& root, const QString& title) {
    for (QAbstractButton* button : root.findChildren<QAbstractButton*>())
        if (button->text() == title && button->isVisibleTo(&root)) return button;
    return nullptr;
}

}  // namespace interface_test

#include "app/Overlay/MenuBarSources.hpp"

namespace interface_test {

// The keep-awake feature as the dictation core keeps it: the unlocked flag
// lives in "keepAwakeUnlocked", and hiding the feature switches it off.
class StoredFakeKeepAwake final : public Parlox::KeepAwakeSwitch {
public:
    bool on = false;
    int setCalls = 0;
    bool isUnlocked() const override { return platform::UserDefaults::standard().boolean("keepAwakeUnlocked", false); }
    void setUnlocked(bool unlocked) override {
        platform::UserDefaults::standard().set("keepAwakeUnlocked", unlocked);
        if (!unlocked) set(false);
        changedSignal();
    }
    bool isOn() const override { return on; }
    void set(bool value) override {
        ++setCalls;
        on = value;
        changedSignal();
    }
    platform::Signal<>& changed() override { return changedSignal; }
    platform::Signal<> changedSignal;
};

}  // namespace interface_test
