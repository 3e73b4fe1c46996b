// The recording cap, the postponed update and the sessions kept for later rounds.
#include "platform/desktop/fake/FakeNotifier.hpp"
#include "platform/desktop/fake/FakeUpdateService.hpp"
#include "tests/app/Dictation/DictationFixture.hpp"

namespace dictation_test {
namespace {

class CapTest : public DictationTest {
public:
    void SetUp() override {
        DictationTest::SetUp();
        audio->inputFormat = {16000, 1};
        field = desktop.focusField(42, "Editor", "hola", {0, 4});
        transcriber->answer("hazlo formal");
        writer->answer("Buenos días");
    }
    std::shared_ptr<FakeTextField> field;
};

TEST_F(CapTest, ARecordingEndsByItselfAfterThreeHundredSecondsOfKeptAudio) {
    toggle();
    EXPECT_EQ(desktop.scheduler->pendingTimerDelays(), (std::vector<double>{300}));
    speak(200);
    controller->pause();
    EXPECT_TRUE(desktop.scheduler->pendingTimerDelays().empty());
    desktop.scheduler->advance(1000);  // paused: the cap does not run
    EXPECT_EQ(controller->phase(), Phase::paused());
    controller->resume();
    ASSERT_EQ(desktop.scheduler->pendingTimerDelays().size(), 1u);
    EXPECT_NEAR(desktop.scheduler->pendingTimerDelays()[0], 100, 0.01);
    desktop.scheduler->advance(99.9);
    EXPECT_EQ(controller->phase(), Phase::recording());
    desktop.scheduler->advance(0.1);
    EXPECT_TRUE(log.contains("Grabación al máximo de 300 s, se procesa"));
    EXPECT_EQ(field->text(), "Buenos días");
}

TEST_F(CapTest, AtLeastOneMoreSecond) {
    toggle();
    speak(299.5);
    controller->pause();
    controller->resume();
    EXPECT_EQ(desktop.scheduler->pendingTimerDelays(), (std::vector<double>{1}));
}

TEST_F(DictationTest, APostponedUpdateRunsAtTheNextIdlePhase) {
    auto updater = std::make_shared<Parlox::Updater>(std::make_shared<platform::desktop::FakeUpdateService>(),
                                                     std::make_shared<platform::desktop::FakeNotifier>());
    controller = std::make_unique<DictationController>(DictationController::Services{
        desktop.services(), screenshots, audio, sounds, transcriber, overlay, updater, fakeWriters(writer)});
    controller->attachHotkeys(hotkeys);
    controller->start();
    desktop.scheduler->settle();
    updater->isBusy = [this] { return controller->phase().isBusy(); };

    desktop.focusField(42, "Editor", "hola", {0, 4});
    toggle();
    int installs = 0;
    EXPECT_TRUE(updater->shouldPostponeRelaunch({"2.0"}, [&] { ++installs; }));
    speak(0.2);  // too short: back to idle at once
    toggle();
    EXPECT_EQ(installs, 1);
    EXPECT_EQ(controller->phase(), Phase::idle());

    // A failure keeps it waiting until the phase is idle again.
    transcriber->fail(std::make_exception_ptr(std::runtime_error("x")));
    toggle();
    EXPECT_TRUE(updater->shouldPostponeRelaunch({"2.1"}, [&] { ++installs; }));
    speak(1);
    toggle();
    EXPECT_EQ(controller->phase().kind, Phase::Kind::failed);
    EXPECT_EQ(installs, 1);
    overlay->model().onDismiss()();
    EXPECT_EQ(installs, 2);
}

TEST_F(DictationTest, SessionsAreKeptOnlyForATargetProcess) {
    // Copied to the pasteboard: the session is still recorded, without a location, and no undo is armed.
    auto field = desktop.focusField(42, "Editor", "hola", {0, 4});
    desktop.accessibility->trusted = false;
    dictate("hazlo formal", "Buenos días");
    ASSERT_EQ(controller->sessions().sessions().size(), 1u);
    EXPECT_EQ(controller->sessions().latest()->insertLocation, std::nullopt);
    EXPECT_FALSE(controller->undoable());
    EXPECT_FALSE(escapeTaken());

    // No application in front: nothing to record.
    desktop.accessibility->trusted = true;
    desktop.workspace->setFrontmost(std::nullopt);
    desktop.scheduler->advance(3);
    dictate("otra", "Otra cosa");
    EXPECT_EQ(controller->sessions().sessions().size(), 1u);
    EXPECT_EQ(controller->history().size(), 2u);
}

TEST_F(DictationTest, NoScreenshotWhenTheUserTurnedItOff) {
    defaults->set("screenContext", false);
    desktop.focusField(42, "Editor", "hola", {0, 4});
    dictate("hazlo formal", "Buenos días");
    ASSERT_EQ(writer->requests.size(), 1u);
    EXPECT_FALSE(writer->requests[0].screenshot);
    EXPECT_TRUE(screenshots->captures().empty());
    EXPECT_TRUE(log.contains("Captura de la ventana: no"));
}

TEST_F(DictationTest, TheWritingToolComesFromTheSettings) {
    struct Case {
        std::optional<std::string> provider;
        std::optional<double> timeout;
        Parlox::WriterProvider expected;
        double seconds;
        const char* logName;
    };
    for (const Case& c : {Case{std::nullopt, std::nullopt, Parlox::WriterProvider::chatGPT, 45, "Codex: "},
                          Case{"claude", 120, Parlox::WriterProvider::claude, 120, "Claude Code: "},
                          Case{"Claude", 0, Parlox::WriterProvider::chatGPT, 45, "Codex: "},
                          Case{"chatgpt", -5, Parlox::WriterProvider::chatGPT, 45, "Codex: "}}) {
        c.provider ? defaults->set("provider", *c.provider) : defaults->remove("provider");
        c.timeout ? defaults->set("timeout", *c.timeout) : defaults->remove("timeout");
        writer->providers.clear();
        writer->timeouts.clear();
        desktop.focusField(42, "Editor", "", {0, 0});
        dictate("escribe", "texto");
        desktop.scheduler->advance(7);
        ASSERT_EQ(writer->providers.size(), 1u);
        EXPECT_EQ(writer->providers[0], c.expected);
        EXPECT_EQ(writer->timeouts[0], c.seconds);
        EXPECT_TRUE(log.containsPrefix(c.logName));
    }
}

TEST_F(DictationTest, AtLaunchOnlyTheDictationKeyIsTakenAndAStoredShortcutSurvives) {
    EXPECT_EQ(hotKeys->registeredCount(), 1u);
    EXPECT_TRUE(hotKeys->isRegistered(kSpace, kOption));
    EXPECT_EQ(hotKeys->registerCalls, 1);  // Escape and Return never taken, not even for a moment

    GlobalKeyBindings::setShortcut(GlobalKeyBindings::Shortcut(GlobalKeyBindings::Key::space,
                                                              GlobalKeyBindings::ModifierFlags::control),
                                   Parlox::HotkeyManager::toggleRecording());
    hotkeys.reset();
    controller.reset();
    GlobalKeyBindings::uninstall();
    hotKeys = std::make_shared<platform::input::FakeHotKeyService>();
    GlobalKeyBindings::install({defaults, hotKeys, std::make_shared<platform::input::FixedUSKeyLayout>(), nullptr});
    makeController();
    EXPECT_FALSE(hotKeys->isRegistered(kSpace, kOption));
    EXPECT_TRUE(hotKeys->isRegistered(kSpace, 0x1000));
    desktop.focusField(42, "Editor", "hola", {0, 4});
    EXPECT_TRUE(hotKeys->tap(kSpace, 0x1000));
    desktop.scheduler->settle();
    EXPECT_EQ(controller->phase(), Phase::recording());
}

}  // namespace
}  // namespace dictation_test
