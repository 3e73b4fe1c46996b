#pragma once

#include <stdlib.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "GlobalKeyBindings/GlobalKeyBindings.hpp"
#include "app/App/DictationController.hpp"
#include "app/Overlay/fake/FakeOverlayController.hpp"
#include "app/Transcription/fake/FakeTranscriber.hpp"
#include "platform/audio/fake/FakeAudioSystem.hpp"
#include "platform/concurrency/MainQueue.hpp"
#include "platform/audio/fake/FakeSystemSounds.hpp"
#include "platform/desktop/fake/FakeWindowScreenshot.hpp"
#include "platform/foundation/fake/InMemoryUserDefaults.hpp"
#include "platform/input/fake/FakeHotKeyService.hpp"
#include "platform/input/fake/FixedUSKeyLayout.hpp"
#include "platform/log/SystemLog.hpp"
#include "tests/app/Dictation/FakeDesktop.hpp"
#include "tests/app/Dictation/FakeWriter.hpp"
#include "tests/app/Sandbox.hpp"

namespace dictation_test {

using Parlox::DictationController;
using Phase = DictationController::Phase;
using OverlayState = Parlox::OverlayModel::State;

inline constexpr int kSpace = 49, kEscape = 53, kReturn = 36, kKeypadEnter = 76, kOption = 0x800;

// Every message the application logs, in order.
class LogCapture {
public:
    LogCapture() {
        platform::SystemLog::setSink([this](platform::LogLevel, const std::string&, const std::string&,
                                            const std::string& message) {
            std::lock_guard lock(mutex_);
            lines_.push_back(message);
        });
    }
    ~LogCapture() { platform::SystemLog::setSink(nullptr); }
    std::vector<std::string> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    bool contains(const std::string& line) const {
        auto all = lines();
        return std::find(all.begin(), all.end(), line) != all.end();
    }
    bool containsPrefix(const std::string& prefix) const {
        for (const auto& line : lines())
            if (line.rfind(prefix, 0) == 0) return true;
        return false;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

// The dictation controller on fakes, with its hot keys on the fake hot-key
// service. Nothing runs until the test settles or advances the scheduler.
class DictationTest : public ::testing::Test {
public:
    void SetUp() override {
        app_test::useSandbox();
        previousDefaults = platform::UserDefaults::setStandard(defaults);
        platform::MainQueue::shared().bindToCurrentThread();
        GlobalKeyBindings::install({defaults, hotKeys, std::make_shared<platform::input::FixedUSKeyLayout>(), nullptr});
        audio->inputFormat = {48000, 1};
        screenshots->setWindows({{900, platform::Rect{0, 0, 800, 600}, 1}});
        desktop.workspace->setWindows({{900, 42, 0, platform::Rect{0, 0, 800, 600}}});
        pasteboardBefore = FakeDesktop::userClipboard();
        desktop.pasteboard->setContents(pasteboardBefore);
        transcriber->statesOnPrepare = {Parlox::Transcriber::State::ready()};
        makeController();
    }

    void TearDown() override {
        controller.reset();
        hotkeys.reset();
        GlobalKeyBindings::uninstall();
        platform::UserDefaults::setStandard(previousDefaults);
        Parlox::ScreenContext::discardAll();
    }

    void makeController() {
        overlay = std::make_shared<Parlox::FakeOverlayController>(desktop.scheduler);
        controller = std::make_unique<DictationController>(DictationController::Services{
            desktop.services(), screenshots, audio, sounds, transcriber, overlay, nullptr, fakeWriters(writer)});
        hotkeys = std::make_shared<Parlox::HotkeyManager>();
        controller->attachHotkeys(hotkeys);
        controller->start();
        desktop.scheduler->settle();
    }

    // ---- The user's hands ----
    void toggle() {
        hotKeys->tap(kSpace, kOption);
        desktop.scheduler->settle();
    }
    bool escape() {
        const bool taken = hotKeys->tap(kEscape, 0);
        desktop.scheduler->settle();
        return taken;
    }
    void speak(double seconds, double dbfs = -20) {
        audio->play(tone(seconds, dbfs, audio->inputFormat.sampleRate));
    }

    // A whole dictation into the focused field.
    void dictate(const std::string& heard, const std::string& answer, double seconds = 2) {
        transcriber->answer(heard);
        writer->answer(answer);
        toggle();
        speak(seconds);
        toggle();
    }

    bool escapeTaken() const { return hotKeys->isRegistered(kEscape, 0); }
    bool returnTaken() const { return hotKeys->isRegistered(kReturn, 0); }
    bool keypadEnterTaken() const { return hotKeys->isRegistered(kKeypadEnter, 0); }
    std::vector<PasteboardItem> clipboard() const { return desktop.pasteboard->contents(); }
    const OverlayState& overlayState() { return overlay->model().state(); }

    std::shared_ptr<platform::InMemoryUserDefaults> defaults = std::make_shared<platform::InMemoryUserDefaults>();
    std::shared_ptr<platform::UserDefaults> previousDefaults;
    std::shared_ptr<platform::input::FakeHotKeyService> hotKeys = std::make_shared<platform::input::FakeHotKeyService>();
    FakeDesktop desktop;
    std::shared_ptr<platform::audio::FakeAudioSystem> audio = std::make_shared<platform::audio::FakeAudioSystem>();
    std::shared_ptr<platform::audio::FakeSystemSounds> sounds = std::make_shared<platform::audio::FakeSystemSounds>();
    std::shared_ptr<platform::desktop::FakeWindowScreenshot> screenshots =
        std::make_shared<platform::desktop::FakeWindowScreenshot>();
    std::shared_ptr<Parlox::FakeTranscriber> transcriber = std::make_shared<Parlox::FakeTranscriber>();
    std::shared_ptr<FakeWriterScript> writer = std::make_shared<FakeWriterScript>();
    std::shared_ptr<Parlox::FakeOverlayController> overlay;
    std::shared_ptr<Parlox::HotkeyManager> hotkeys;
    std::unique_ptr<DictationController> controller;
    std::vector<PasteboardItem> pasteboardBefore;
    LogCapture log;
};

}  // namespace dictation_test
