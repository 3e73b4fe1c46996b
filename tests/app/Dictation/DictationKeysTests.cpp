// Escape, Return and keypad Enter: which phase takes them from other
// applications, and what Escape does in each busy phase.
#include <functional>

#include "tests/app/Dictation/DictationFixture.hpp"
#include "writing/CodexProvider.hpp"

namespace dictation_test {
namespace {

// Brings the controller into a phase; the work it started waits in the scheduler.
using Step = std::function<void(DictationTest&)>;

void capturing(DictationTest& t) { t.hotKeys->tap(kSpace, kOption); }
void recording(DictationTest& t) { t.toggle(); }
void paused(DictationTest& t) {
    t.toggle();
    t.speak(1);
    t.controller->pause();
}
void transcribing(DictationTest& t) {
    t.toggle();
    t.speak(2);
    t.hotKeys->tap(kSpace, kOption);
}
void writing(DictationTest& t) {
    transcribing(t);
    t.desktop.scheduler->runJobs();
    t.desktop.scheduler->runPosted();
}
void failed(DictationTest& t) {
    t.writer->answers.clear();
    t.writer->fail(ParloxCore::CodexProvider::CodexError::notLoggedIn());
    t.dictate("hazlo formal", "x");
}
void idleWithUndo(DictationTest& t) { t.dictate("hazlo formal", "Buenos días"); }
void idle(DictationTest&) {}

struct Registration {
    const char* name;
    Step step;
    Phase phase;
    bool escape;
    bool accept;  // Return and keypad Enter
};

void PrintTo(const Registration& c, std::ostream* os) { *os << c.name; }

class RegistrationTest : public DictationTest, public ::testing::WithParamInterface<Registration> {};

TEST_P(RegistrationTest, KeysAreTakenOnlyInTheirPhases) {
    const Registration& c = GetParam();
    desktop.focusField(42, "Editor", "hola", {0, 4});
    transcriber->answer("hazlo formal");
    writer->answer("Buenos días");
    c.step(*this);
    EXPECT_EQ(controller->phase(), c.phase);
    EXPECT_EQ(escapeTaken(), c.escape);
    EXPECT_EQ(returnTaken(), c.accept);
    EXPECT_EQ(keypadEnterTaken(), c.accept);
    EXPECT_TRUE(hotKeys->isRegistered(kSpace, kOption));
}

INSTANTIATE_TEST_SUITE_P(Phases, RegistrationTest,
                         ::testing::Values(Registration{"Idle", idle, Phase::idle(), false, false},
                                           Registration{"Capturing", capturing, Phase::capturing(), true, false},
                                           Registration{"Recording", recording, Phase::recording(), true, true},
                                           Registration{"Paused", paused, Phase::paused(), true, true},
                                           Registration{"Transcribing", transcribing, Phase::transcribing(), true,
                                                        false},
                                           Registration{"Writing", writing, Phase::writing(), true, false},
                                           Registration{"Failed", failed, Phase::failed("Sin sesión"), false, false},
                                           Registration{"IdleWithUndo", idleWithUndo, Phase::idle(), true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

struct Cancellation {
    const char* name;
    Step step;
    bool copyFallback;  // the field gives no selected text: the capture copies it
    const char* logLine;
};

void PrintTo(const Cancellation& c, std::ostream* os) { *os << c.name; }

class EscapeTest : public DictationTest, public ::testing::WithParamInterface<Cancellation> {};

TEST_P(EscapeTest, EscapeInABusyPhaseDropsTheDictationAndLosesNothing) {
    const Cancellation& c = GetParam();
    auto field = desktop.focusField(42, "Editor", "hola", {0, 4});
    field->setSelectedTextReadable(!c.copyFallback);
    transcriber->answer("hazlo formal");
    writer->answer("Buenos días");
    c.step(*this);
    ASSERT_TRUE(controller->phase().isBusy());

    EXPECT_TRUE(escape());  // also lets every late result arrive
    desktop.scheduler->advance(10);

    EXPECT_EQ(controller->phase(), Phase::idle());
    EXPECT_EQ(overlayState(), OverlayState::hidden());
    EXPECT_TRUE(log.contains(c.logLine)) << c.logLine;
    EXPECT_EQ(field->text(), "hola");
    EXPECT_EQ(field->selection(), (TextRange{0, 4}));
    EXPECT_EQ(clipboard(), pasteboardBefore);
    EXPECT_TRUE(controller->history().empty());
    EXPECT_FALSE(controller->canRetry());
    EXPECT_FALSE(escapeTaken());
    EXPECT_FALSE(returnTaken());
    for (const auto& engine : audio->engines()) EXPECT_NE(engine->state, platform::audio::FakeCaptureEngine::State::running);
    EXPECT_FALSE(log.containsPrefix("Insertado"));
    const auto played = sounds->played();
    EXPECT_EQ(std::count(played.begin(), played.end(), "Funk"), 0);
}

INSTANTIATE_TEST_SUITE_P(BusyPhases, EscapeTest,
                         ::testing::Values(Cancellation{"Capturing", capturing, false, "Cancelado (capturing)"},
                                           Cancellation{"CapturingByCopy", capturing, true, "Cancelado (capturing)"},
                                           Cancellation{"Recording", recording, false, "Grabación cancelada"},
                                           Cancellation{"Paused", paused, false, "Grabación cancelada"},
                                           Cancellation{"Transcribing", transcribing, false,
                                                        "Cancelado (transcribing)"},
                                           Cancellation{"Writing", writing, false, "Cancelado (writing)"}),
                         [](const auto& info) { return std::string(info.param.name); });

// The desktop's pasteboard, with an application that answers the copy key
// only once `delay` seconds have passed on the manual clock.
class SlowCopyPasteboard final : public platform::desktop::Pasteboard {
public:
    SlowCopyPasteboard(FakeDesktop& desktop, double delay) : desktop_(desktop), delay_(delay) {}

    void copyKeyPosted(std::string text) {
        copyAt_ = desktop_.scheduler->elapsed() + delay_;
        text_ = std::move(text);
    }

    std::vector<PasteboardItem> items() override { return late().items(); }
    void clearContents() override { late().clearContents(); }
    bool writeItems(const std::vector<PasteboardItem>& items) override { return late().writeItems(items); }
    bool setString(const std::string& text) override { return late().setString(text); }
    std::optional<std::string> string() override { return late().string(); }
    int64_t changeCount() override { return late().changeCount(); }
    platform::desktop::GiveBack giveBackItems(const std::vector<PasteboardItem>& items, int64_t since) override {
        return late().giveBackItems(items, since);
    }
    bool takenBy(int32_t pid) override { return late().takenBy(pid); }
    void markPasteKey() override { late().markPasteKey(); }
    std::optional<platform::desktop::PrimarySelection> primarySelection() override {
        return late().primarySelection();
    }
    std::vector<PasteboardItem> primaryItems() override { return late().primaryItems(); }
    bool writePrimaryItems(const std::vector<PasteboardItem>& items) override {
        return late().writePrimaryItems(items);
    }
    bool setPrimaryString(const std::string& text) override { return late().setPrimaryString(text); }
    bool primaryTakenBy(int32_t pid) override { return late().primaryTakenBy(pid); }
    int64_t primaryChangeCount() override { return late().primaryChangeCount(); }
    platform::desktop::GiveBack giveBackPrimaryItems(const std::vector<PasteboardItem>& items,
                                                     int64_t since) override {
        return late().giveBackPrimaryItems(items, since);
    }

private:
    platform::desktop::FakePasteboard& late() {
        if (copyAt_ && desktop_.scheduler->elapsed() >= *copyAt_) {
            copyAt_.reset();
            desktop_.pasteboard->receiveCopy(text_);
        }
        return *desktop_.pasteboard;
    }

    FakeDesktop& desktop_;
    double delay_;
    std::optional<double> copyAt_;
    std::string text_;
};

TEST_F(DictationTest, EscapeWhileTheSelectionIsBeingCopiedStillGivesBackTheClipboard) {
    auto field = desktop.focusField(42, "Editor", "hola", {0, 4});
    field->setSelectedTextReadable(false);
    auto pasteboard = std::make_shared<SlowCopyPasteboard>(desktop, 0.1);
    desktop.keys->setHandler([&](const platform::input::FakeKeySynth::Event& event) {
        if (event.key == platform::input::FakeKeySynth::Key::copy) pasteboard->copyKeyPosted(field->selectionText());
    });
    auto services = desktop.services();
    services.pasteboard = pasteboard;
    controller = std::make_unique<DictationController>(DictationController::Services{
        services, screenshots, audio, sounds, transcriber, overlay, nullptr, fakeWriters(writer)});
    controller->attachHotkeys(hotkeys);
    controller->start();
    desktop.scheduler->settle();

    hotKeys->tap(kSpace, kOption);  // the capture is queued
    hotKeys->tap(kEscape, 0);       // and cancelled before it runs
    desktop.scheduler->advance(1);  // the application's copy arrives whenever it does

    EXPECT_EQ(controller->phase(), Phase::idle());
    EXPECT_EQ(pasteboard->items(), pasteboardBefore);
    EXPECT_EQ(field->text(), "hola");
}

TEST_F(DictationTest, ReturnAndKeypadEnterFinishARecordingLikeTheSecondToggle) {
    for (int key : {kReturn, kKeypadEnter}) {
        SCOPED_TRACE(key);
        auto field = desktop.focusField(42, "Editor", "hola", {0, 4});
        transcriber->answer("hazlo formal");
        writer->answer("Buenos días");
        toggle();
        speak(1);
        EXPECT_TRUE(hotKeys->tap(key, 0));
        desktop.scheduler->advance(7);
        EXPECT_EQ(field->text(), "Buenos días");
        EXPECT_FALSE(hotKeys->tap(key, 0));  // at rest the key reaches the application
    }
    const auto lines = log.lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Intro: se termina la grabación"), 2);
}

TEST_F(DictationTest, TheToggleDoesNothingWhileTranscribingOrWriting) {
    desktop.focusField(42, "Editor", "hola", {0, 4});
    transcriber->answer("hazlo formal");
    writer->answer("Buenos días");
    transcribing(*this);
    hotKeys->tap(kSpace, kOption);
    EXPECT_EQ(controller->phase(), Phase::transcribing());
    desktop.scheduler->runJobs();
    desktop.scheduler->runPosted();
    ASSERT_EQ(controller->phase(), Phase::writing());
    hotKeys->tap(kSpace, kOption);
    EXPECT_EQ(controller->phase(), Phase::writing());
    desktop.scheduler->settle();
    EXPECT_EQ(transcriber->calls().size(), 1u);
    EXPECT_EQ(audio->engines().size(), 1u);
}

TEST_F(DictationTest, EscapeAtRestWithoutAnUndoIsNotTakenAndRetryAtIdleDoesNothing) {
    desktop.focusField(42, "Editor", "hola", {0, 4});
    EXPECT_FALSE(escape());
    controller->cancel();
    controller->retry();
    controller->pause();
    controller->resume();
    desktop.scheduler->settle();
    EXPECT_EQ(controller->phase(), Phase::idle());
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(DictationTest, TheIndicatorButtonsDriveTheRecording) {
    auto field = desktop.focusField(42, "Editor", "hola", {0, 4});
    transcriber->answer("hazlo formal");
    writer->answer("Buenos días");
    toggle();
    speak(1);
    overlay->model().onPause()();
    EXPECT_EQ(controller->phase(), Phase::paused());
    EXPECT_EQ(overlayState(), OverlayState::paused());
    speak(5);  // not kept while paused
    overlay->model().onResume()();
    EXPECT_EQ(controller->phase(), Phase::recording());
    speak(1);
    overlay->model().onStop()();
    desktop.scheduler->settle();
    EXPECT_EQ(field->text(), "Buenos días");
    EXPECT_NEAR(controller->history().front().audioSeconds, 2.0, 0.01);
    EXPECT_TRUE(log.contains("Pausa"));
    EXPECT_TRUE(log.contains("Reanudada"));
}

TEST_F(DictationTest, DismissingAnErrorReturnsToIdle) {
    desktop.focusField(42, "Editor", "hola", {0, 4});
    failed(*this);
    ASSERT_EQ(controller->phase().kind, Phase::Kind::failed);
    overlay->model().onDismiss()();
    EXPECT_EQ(controller->phase(), Phase::idle());
    EXPECT_EQ(overlayState(), OverlayState::hidden());
}

}  // namespace
}  // namespace dictation_test

namespace dictation_test {
namespace {

using EngineState = platform::audio::FakeCaptureEngine::State;

// Brings a dictation to the point where its microphone is opening.
void upToTheMicrophoneStart(DictationTest& t) {
    t.hotKeys->tap(kSpace, kOption);
    t.desktop.scheduler->runJobs();    // the capture
    t.desktop.scheduler->runPosted();  // its result: the microphone start is queued
}

size_t runningMicrophones(const DictationTest& t) {
    size_t running = 0;
    for (const auto& engine : t.audio->engines()) running += engine->state == EngineState::running;
    return running;
}

TEST_F(DictationTest, EscapeWhileTheMicrophoneOpensStopsItOnceItIsOpen) {
    desktop.focusField(42, "Editor", "hola", {0, 4});
    upToTheMicrophoneStart(*this);
    ASSERT_EQ(controller->phase(), Phase::capturing());
    desktop.scheduler->runJobs();  // the microphone opens; its answer is still on its way
    escape();
    ASSERT_EQ(audio->engines().size(), 1u);
    EXPECT_EQ(audio->engines()[0]->state, EngineState::stopped);
    EXPECT_EQ(controller->phase(), Phase::idle());
    EXPECT_EQ(overlayState(), OverlayState::hidden());
    EXPECT_TRUE(sounds->played().empty());
}

TEST_F(DictationTest, EscapeBeforeTheMicrophoneOpensOpensNothing) {
    desktop.focusField(42, "Editor", "hola", {0, 4});
    upToTheMicrophoneStart(*this);
    escape();  // the start was still queued
    EXPECT_TRUE(audio->engines().empty());
    EXPECT_EQ(controller->phase(), Phase::idle());
}

// A cancelled dictation's microphone finished opening while a newer one was
// capturing, and the newer one then ended without a microphone of its own.
TEST_F(DictationTest, ALateMicrophoneStartIsClosedWhenTheNewerDictationEndsWithoutOne) {
    struct Case {
        const char* name;
        std::function<void(DictationTest&)> endNewer;
        Phase after;
    };
    const Case cases[] = {
        {"Escape while capturing",
         [](DictationTest& t) {
             t.hotKeys->tap(kEscape, 0);
             t.desktop.scheduler->settle();
         },
         Phase::idle()},
        {"a password field",
         [](DictationTest& t) {
             t.desktop.focused()->setRole(std::string(platform::accessibility::roles::passwordText));
             t.desktop.scheduler->settle();
         },
         Phase::failed("Campo protegido")},
    };
    for (const Case& c : cases) {
        desktop.focusField(42, "Editor", "hola", {0, 4});
        upToTheMicrophoneStart(*this);
        desktop.scheduler->runJobs();   // the microphone opens; its answer waits in the main queue
        hotKeys->tap(kEscape, 0);       // cancelled meanwhile
        desktop.focusField(43, "Notas", "adiós", {0, 5});
        hotKeys->tap(kSpace, kOption);  // a newer dictation: its capture is queued
        desktop.scheduler->runPosted();  // the late answer arrives while it captures
        ASSERT_EQ(controller->phase(), Phase::capturing()) << c.name;
        c.endNewer(*this);
        EXPECT_EQ(controller->phase(), c.after) << c.name;
        EXPECT_EQ(runningMicrophones(*this), 0u) << c.name;
        controller->cancel();
        desktop.scheduler->settle();
    }
}

// The other order: the cancelled dictation's start ends only after the
// newer dictation opened its own microphone (the sound server was slow).
TEST_F(DictationTest, ALateMicrophoneStartNeverStopsTheNewerDictationsMicrophone) {
    auto first = desktop.focusField(42, "Editor", "hola", {0, 4});
    upToTheMicrophoneStart(*this);
    auto lateStart = desktop.scheduler->takeJob();
    ASSERT_TRUE(lateStart);
    hotKeys->tap(kEscape, 0);
    auto second = desktop.focusField(43, "Notas", "adiós", {0, 5});
    transcriber->answer("en inglés");
    writer->answer("goodbye");
    toggle();
    ASSERT_EQ(controller->phase(), Phase::recording());
    speak(1);
    (*lateStart)();
    desktop.scheduler->settle();

    ASSERT_EQ(audio->engines().size(), 1u);  // the late start opened nothing
    EXPECT_EQ(audio->engines()[0]->state, EngineState::running);
    EXPECT_EQ(controller->phase(), Phase::recording());
    toggle();
    // The second of audio is there (less the resampler's few samples of delay).
    ASSERT_EQ(transcriber->calls().size(), 1u);
    EXPECT_GT(transcriber->calls()[0], 15900u);
    EXPECT_EQ(second->text(), "goodbye");
    EXPECT_EQ(first->text(), "hola");
    EXPECT_EQ(runningMicrophones(*this), 0u);
}

TEST_F(DictationTest, ALateMicrophoneStartLeavesANewerDictationAlone) {
    auto first = desktop.focusField(42, "Editor", "hola", {0, 4});
    upToTheMicrophoneStart(*this);
    hotKeys->tap(kEscape, 0);
    auto second = desktop.focusField(43, "Notas", "adiós", {0, 5});
    transcriber->answer("en inglés");
    writer->answer("goodbye");
    toggle();  // the old start and the new dictation's steps all run now
    ASSERT_EQ(controller->phase(), Phase::recording());
    EXPECT_EQ(runningMicrophones(*this), 1u);
    speak(1);
    toggle();
    EXPECT_EQ(second->text(), "goodbye");
    EXPECT_EQ(first->text(), "hola");
    ASSERT_EQ(writer->requests.size(), 1u);
    EXPECT_EQ(writer->requests[0].baseText, "adiós");
}

TEST_F(DictationTest, ALateMicrophoneStartIsClosedWhenNoDictationIsLeftToUseIt) {
    desktop.focusField(42, "Editor", "hola", {0, 4});
    upToTheMicrophoneStart(*this);
    hotKeys->tap(kEscape, 0);             // cancelled while the microphone opens
    hotKeys->tap(kSpace, kOption);        // a new dictation: its capture is queued
    ASSERT_EQ(controller->phase(), Phase::capturing());
    hotKeys->tap(kEscape, 0);             // and cancelled before its own microphone start
    desktop.scheduler->settle();          // now the first start runs

    EXPECT_EQ(controller->phase(), Phase::idle());
    EXPECT_EQ(runningMicrophones(*this), 0u);
    EXPECT_FALSE(escapeTaken());
}

TEST_F(DictationTest, AssigningTheSamePhaseAnnouncesNothingButRunsTheIdleRules) {
    auto updater = std::make_shared<Parlox::Updater>(nullptr, nullptr);
    controller = std::make_unique<DictationController>(DictationController::Services{
        desktop.services(), screenshots, audio, sounds, transcriber, overlay, updater, fakeWriters(writer)});
    controller->attachHotkeys(hotkeys);
    controller->start();
    desktop.scheduler->settle();
    desktop.focusField(42, "Editor", "hola", {0, 4});
    dictate("hazlo formal", "Buenos días");
    const auto id = controller->sessions().latest()->id;
    desktop.scheduler->advance(7);
    desktop.accessibility->trusted = false;
    int changes = 0;
    auto connection = controller->phaseChanged().connect([&] { ++changes; });
    int installs = 0;
    updater->postponedInstall = [&] { ++installs; };
    controller->undo(id);  // fails without permission, and sets the idle phase again
    desktop.scheduler->settle();
    EXPECT_EQ(controller->phase(), Phase::idle());
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(installs, 1);
}

}  // namespace
}  // namespace dictation_test
