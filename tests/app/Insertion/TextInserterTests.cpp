#include <gtest/gtest.h>

#include <numeric>

#include "app/Insertion/Clipboard.hpp"
#include "app/Insertion/HeldKeys.hpp"
#include "app/Insertion/SessionText.hpp"
#include "app/Insertion/TextInserter.hpp"
#include "app/Support/Settle.hpp"
#include "tests/app/Dictation/DictationFixture.hpp"

namespace Parlox {
inline void PrintTo(const TextInserter::Outcome& o, std::ostream* os) {
    if (o.kind == TextInserter::Outcome::Kind::inserted)
        *os << "inserted(" << (o.at ? std::to_string(*o.at) : "nil") << ", " << o.selected << ")";
    else if (o.kind == TextInserter::Outcome::Kind::calledOff)
        *os << "calledOff";
    else
        *os << (o.kind == TextInserter::Outcome::Kind::copied ? "copied(" : "failed(") << o.message << ")";
}
}  // namespace Parlox

namespace dictation_test {
namespace {

using Outcome = Parlox::TextInserter::Outcome;
using Parlox::CapturedContext;
using Parlox::TextInserter;
using platform::input::KeyTarget;

class TextInserterTest : public ::testing::Test {
public:
    void SetUp() override {
        desktop.pasteboard->setContents(FakeDesktop::userClipboard());
        field = desktop.focusField(42, "Editor", "hola mundo", {5, 5});
        context.pid = 42;
        context.element = field;
        context.selectedRange = TextRange{5, 5};
        context.method = CapturedContext::Method::accessibility;
    }
    Outcome insert(const std::string& text) { return TextInserter::insert(text, context, desktop.services()); }

    // The roads an answer can take: pasted into a field or a terminal, or
    // copied for want of permission or because another app is in front.
    struct Road {
        const char* name;
        std::function<void(TextInserterTest&)> arrange;
    };
    static std::vector<Road> roads() {
        return {
            {"into a field", [](TextInserterTest&) {}},
            {"into a terminal",
             [](TextInserterTest& t) {
                 t.field->setRole(std::string(platform::accessibility::roles::terminal));
                 t.field->setTerminalCursor(10);
             }},
            {"copied for want of permission", [](TextInserterTest& t) { t.desktop.accessibility->trusted = false; }},
            {"copied for another app in front", [](TextInserterTest& t) { t.context.pid = 43; }},
        };
    }
    // Runs `check` on each road, from a fresh field on a trusted desktop.
    void onEachRoad(const std::function<void()>& check) {
        for (const auto& road : roads()) {
            SCOPED_TRACE(road.name);
            SetUp();
            desktop.accessibility->trusted = true;
            desktop.keys->clear();
            road.arrange(*this);
            check();
        }
    }

    // The field a terminal's shell shows, "mundo" selected, the cursor at the end.
    void makeATerminal() {
        field->setText("$ hola mundo", {7, 5});
        field->setRole(std::string(platform::accessibility::roles::terminal));
        field->setTerminalCursor(12);
        context.selectedRange = TextRange{7, 5};
    }
    // The front program as the window system tells it, changed by `change`.
    void setFrontProgram(const std::function<void(platform::desktop::RunningApplication&)>& change) {
        auto app = *desktop.workspace->frontmostApplication();
        change(app);
        desktop.workspace->addApplication(app);
    }
    // Anything written to either selection, or cleared.
    bool wroteThePasteboard() const {
        using Operation = platform::desktop::FakePasteboard::Operation;
        for (const auto operation : desktop.pasteboard->operations())
            if (operation == Operation::setString || operation == Operation::setPrimaryString ||
                operation == Operation::writeItems || operation == Operation::writePrimaryItems ||
                operation == Operation::clear)
                return true;
        return false;
    }

    FakeDesktop desktop;
    std::shared_ptr<FakeTextField> field;
    CapturedContext context;
    LogCapture log;
};

TEST_F(TextInserterTest, PastesOverTheSelectionAndSelectsThePastedText) {
    EXPECT_EQ(insert("planeta 🌍"), Outcome::inserted(5, true));
    EXPECT_EQ(field->text(), "hola planeta 🌍");
    EXPECT_EQ(field->selection(), (TextRange{5, 10}));  // the globe counts two UTF-16 units
    EXPECT_EQ(field->selectionText(), "planeta 🌍");
    EXPECT_EQ(desktop.pasteboard->contents(), FakeDesktop::userClipboard());
    EXPECT_EQ(desktop.scheduler->sleeps(), (std::vector<double>{Parlox::Clipboard::pasteHold, 0.06}));
}

TEST_F(TextInserterTest, TheFreshSelectionWinsOverTheCapturedOne) {
    field->setSelectedTextRange({10, 0});
    EXPECT_EQ(insert("!"), Outcome::inserted(10, true));
    EXPECT_EQ(field->text(), "hola mundo!");
}

TEST_F(TextInserterTest, CopiesInsteadWhenItCannotPasteSafely) {
    struct Case {
        const char* name;
        std::function<void(TextInserterTest&)> arrange;
        const char* message;
    };
    const std::vector<Case> cases{
        {"untrusted", [](TextInserterTest& t) { t.desktop.accessibility->trusted = false; },
         TextInserter::noPermissionMessage},
        {"no pid", [](TextInserterTest& t) { t.context.pid.reset(); }, TextInserter::switchedAppMessage},
        {"nothing in front", [](TextInserterTest& t) { t.desktop.workspace->setFrontmost(std::nullopt); },
         TextInserter::switchedAppMessage},
        {"another app in front",
         [](TextInserterTest& t) {
             t.desktop.workspace->addApplication({43, "Otra", "otra", false});
             t.desktop.workspace->setFrontmost(43);
         },
         TextInserter::switchedAppMessage},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        desktop.accessibility->trusted = true;
        desktop.keys->clear();
        c.arrange(*this);
        EXPECT_EQ(insert("texto"), Outcome::copied(c.message));
        EXPECT_TRUE(desktop.keys->events().empty());
        EXPECT_EQ(desktop.pasteboard->string(), "texto");
        EXPECT_EQ(field->text(), "hola mundo");
    }
}

TEST_F(TextInserterTest, WithoutAnElementTheLocationComesFromTheCaptureOrIsUnknown) {
    context.element = nullptr;
    EXPECT_EQ(insert("gente"), Outcome::inserted(5, false));
    EXPECT_TRUE(field->selectionRequests().empty());
    context.selectedRange.reset();
    EXPECT_EQ(insert("x"), Outcome::inserted(std::nullopt, false));
}

TEST_F(TextInserterTest, ARefusedSelectionIsReportedNotRetried) {
    field->setSelectable(false);
    EXPECT_EQ(insert("gente"), Outcome::inserted(5, false));
    EXPECT_EQ(field->selectionRequests().size(), 1u);
}

TEST_F(TextInserterTest, AFieldThatIgnoresThePasteGetsTheTextCopiedInstead) {
    struct Case {
        const char* name;
        bool selectable;
    };
    for (const Case c : {Case{"selectable", true}, Case{"not selectable", false}}) {
        SCOPED_TRACE(c.name);
        SetUp();
        field->setAcceptsPaste(false);
        field->setSelectable(c.selectable);
        EXPECT_EQ(insert("planeta"), Outcome::copied(TextInserter::notPastedMessage));
        EXPECT_EQ(field->text(), "hola mundo");
        EXPECT_EQ(desktop.pasteboard->string(), "planeta");
    }
}

// A browser takes the selection at once but shows it a moment later: the
// read-back waits for it, up to about a second, before calling the paste failed.
TEST_F(TextInserterTest, ASelectionAppliedLateCountsOnceItShows) {
    field->setSelectionLag(5);
    EXPECT_EQ(insert("planeta"), Outcome::inserted(5, true));
    EXPECT_EQ(field->selectionText(), "planeta");
    EXPECT_EQ(desktop.pasteboard->contents(), FakeDesktop::userClipboard());
}

TEST_F(TextInserterTest, ASelectionThatNeverShowsFailsAfterAboutASecond) {
    field->setSelectionLag(-1);
    EXPECT_EQ(insert("planeta"), Outcome::copied(TextInserter::notPastedMessage));
    EXPECT_EQ(desktop.pasteboard->string(), "planeta");
    // The paste's hold and the wait before selecting, then the read-back's polls.
    const auto sleeps = desktop.scheduler->sleeps();
    ASSERT_GE(sleeps.size(), 3u);
    const double polled = std::accumulate(sleeps.begin() + 2, sleeps.end(), 0.0);
    EXPECT_GE(polled, Parlox::Settle::limit);
    EXPECT_LE(polled, Parlox::Settle::limit + 2 * Parlox::Settle::interval);
}

// It told its range at the capture and tells nothing now: hung or gone, so
// whether the paste landed is unknown and the answer must not be lost.
TEST_F(TextInserterTest, AFieldThatStopsAnsweringAfterTheCaptureGetsTheTextCopied) {
    for (const bool tookThePaste : {false, true}) {
        SCOPED_TRACE(tookThePaste ? "took the paste" : "did not take it");
        SetUp();
        field->setAcceptsPaste(tookThePaste);
        field->setSelectable(false);
        field->setRangeReadable(false);
        EXPECT_EQ(insert("planeta"), Outcome::copied(TextInserter::notPastedMessage));
        EXPECT_EQ(desktop.pasteboard->string(), "planeta");
    }
}

// The pasteboard takes nothing: no key is posted (it would paste the user's
// own contents), the user's contents stay, and the outcome says the text
// could not be copied rather than that it was.
TEST_F(TextInserterTest, AnAnswerThePasteboardDoesNotTakeIsReportedNotCopied) {
    onEachRoad([&] {
        desktop.pasteboard->failWrites(true);
        EXPECT_EQ(insert("planeta"), Outcome::failed(TextInserter::notCopiedMessage));
        EXPECT_TRUE(desktop.keys->events().empty());
        EXPECT_EQ(field->text(), "hola mundo");
        EXPECT_EQ(desktop.pasteboard->contents(), FakeDesktop::userClipboard());
    });
}

// A field that ignores the paste, with a pasteboard that stops taking
// writes during the paste: the user's contents cannot come back, and the
// answer, still there, counts as copied.
TEST_F(TextInserterTest, AnAnswerLeftOnAPasteboardThatStoppedTakingWritesCountsAsCopied) {
    field->setAcceptsPaste(false);
    desktop.keys->setHandler([&](const auto&) { desktop.pasteboard->failWrites(true); });
    EXPECT_EQ(insert("planeta"), Outcome::copied(TextInserter::notPastedMessage));
    EXPECT_EQ(desktop.pasteboard->string(), "planeta");
}

// A terminal pastes at its cursor, whatever is selected: the answer is
// found there, left unselected, and the user's clipboard comes back.
TEST_F(TextInserterTest, ATerminalTakesTheAnswerAtItsCursor) {
    field->setText("$ hola mundo", {7, 5});
    field->setRole(std::string(platform::accessibility::roles::terminal));
    field->setTerminalCursor(12);
    context.selectedRange = TextRange{7, 5};
    EXPECT_EQ(insert("planeta"), Outcome::inserted(12, false));
    EXPECT_EQ(field->text(), "$ hola mundoplaneta");
    EXPECT_EQ(desktop.keys->events(), (std::vector<platform::input::FakeKeySynth::Event>{
                                          {platform::input::FakeKeySynth::Key::paste, KeyTarget::terminal}}));
    EXPECT_TRUE(field->selectionRequests().empty());
    EXPECT_EQ(desktop.pasteboard->contents(), FakeDesktop::userClipboard());
}

TEST_F(TextInserterTest, ATerminalThatDoesNotShowTheAnswerGetsItCopied) {
    struct Case {
        const char* name;
        std::function<void(FakeTextField&)> arrange;
    };
    const std::vector<Case> cases{
        {"ignores the paste", [](FakeTextField& f) { f.setAcceptsPaste(false); }},
        {"stops answering", [](FakeTextField& f) { f.setRangeReadable(false); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        field->setRole(std::string(platform::accessibility::roles::terminal));
        field->setTerminalCursor(10);
        c.arrange(*field);
        EXPECT_EQ(insert("planeta"), Outcome::copied(TextInserter::notPastedMessage));
        EXPECT_EQ(desktop.pasteboard->string(), "planeta");
    }
}

// Without accessibility a terminal cannot be read back: the paste is
// reported as made, unselected, at an unknown place.
TEST_F(TextInserterTest, ATerminalWithoutAccessibilityIsPastedIntoUnchecked) {
    desktop.workspace->addApplication({42, "Terminal", "XTerm", true});
    desktop.accessibility->setFocusedElement(42, nullptr);
    context.element = nullptr;
    EXPECT_EQ(insert("planeta"), Outcome::inserted(std::nullopt, false));
    ASSERT_EQ(desktop.keys->events().size(), 1u);
    EXPECT_EQ(desktop.keys->events()[0].target, KeyTarget::terminal);
    EXPECT_EQ(desktop.pasteboard->contents(), FakeDesktop::userClipboard());
}

// An editor with a terminal inside shows a text field: it gets its own
// paste key and the answer replaces the selection there as in any field.
TEST_F(TextInserterTest, AProgramThatMayBeATerminalKeepsItsOwnPasteKeyInATextField) {
    auto app = *desktop.workspace->frontmostApplication();
    app.holdsPseudoTerminal = true;
    desktop.workspace->addApplication(app);
    EXPECT_EQ(insert("planeta"), Outcome::inserted(5, true));
    EXPECT_EQ(field->text(), "hola planeta");
    ASSERT_EQ(desktop.keys->events().size(), 1u);
    EXPECT_EQ(desktop.keys->events()[0].target, KeyTarget::mayBeTerminal);
}

// A shell without bracketed paste runs every line but the last as it
// arrives (and a last line break runs that one too): such a text is left
// on the pasteboard for the user instead.
TEST_F(TextInserterTest, ATextOfSeveralLinesForATerminalIsCopiedNotPasted) {
    for (const char* text : {"ls\nrm -r build", "uno\r\ndos", "ls\n", "ls\r"}) {
        SCOPED_TRACE(text);
        SetUp();
        desktop.keys->clear();
        field->setText("$ ", {2, 0});
        field->setRole(std::string(platform::accessibility::roles::terminal));
        field->setTerminalCursor(2);
        EXPECT_EQ(insert(text), Outcome::copied(TextInserter::severalLinesMessage));
        EXPECT_TRUE(desktop.keys->events().empty());
        EXPECT_EQ(field->text(), "$ ");
        EXPECT_EQ(desktop.pasteboard->string(), text);
    }
    // In a text field the lines are only text.
    SetUp();
    EXPECT_EQ(insert("uno\ndos"), Outcome::inserted(5, true));
    EXPECT_EQ(field->text(), "hola uno\ndos");
}

// Called off before its key or its copy, an insertion does nothing at all:
// not even write the answer where a clipboard manager would keep it.
TEST_F(TextInserterTest, AnInsertionCalledOffBeforehandDoesNothing) {
    onEachRoad([&] {
        desktop.pasteboard->clearLog();
        Parlox::PointOfNoReturn point;
        EXPECT_TRUE(point.callOff());
        EXPECT_EQ(TextInserter::insert("planeta", context, desktop.services(), &point), Outcome::calledOff());
        EXPECT_TRUE(desktop.keys->events().empty());
        EXPECT_EQ(field->text(), "hola mundo");
        EXPECT_EQ(desktop.pasteboard->contents(), FakeDesktop::userClipboard());
        EXPECT_FALSE(wroteThePasteboard());
    });
}

// The point is passed just before the key goes out (a call-off as the key
// lands is refused), and says whether the key went to a terminal.
TEST_F(TextInserterTest, ThePointOfNoReturnIsPassedRightBeforeThePasteKey) {
    for (const bool terminal : {false, true}) {
        SCOPED_TRACE(terminal ? "terminal" : "field");
        SetUp();
        if (terminal) {
            field->setRole(std::string(platform::accessibility::roles::terminal));
            field->setTerminalCursor(10);
        }
        Parlox::PointOfNoReturn point;
        std::optional<bool> calledOffAtTheKey, intoTerminal;
        desktop.afterKey = [&](const platform::input::FakeKeySynth::Event&) {
            calledOffAtTheKey = point.callOff();
            intoTerminal = point.passedIntoTerminal();
        };
        EXPECT_EQ(TextInserter::insert("planeta", context, desktop.services(), &point).kind,
                  Outcome::Kind::inserted);
        EXPECT_EQ(calledOffAtTheKey, false);
        EXPECT_EQ(intoTerminal, terminal);
    }
}

// The user holds Escape or the dictation shortcut down as the paste key is
// about to go out; its grab would take the key. The key waits until it is
// let go, then goes, into a field read back, one that cannot be read back
// and a terminal.
TEST_F(TextInserterTest, ThePasteKeyWaitsUntilEscapeOrTheShortcutIsLetGo) {
    struct Road {
        const char* name;
        std::function<void(TextInserterTest&)> arrange;
        Outcome outcome;
        const char* text;
    };
    const std::vector<Road> roads{
        {"a field read back", [](TextInserterTest&) {}, Outcome::inserted(5, true), "hola planeta"},
        {"a field that cannot be read back",
         [](TextInserterTest& t) {
             t.context.element = nullptr;
             t.context.selectedRange.reset();
             t.context.method = CapturedContext::Method::clipboard;
         },
         Outcome::inserted(std::nullopt, false), "hola planeta"},
        {"a terminal", [](TextInserterTest& t) { t.makeATerminal(); }, Outcome::inserted(12, false),
         "$ hola mundoplaneta"},
    };
    constexpr double held = 0.3;
    for (const int key : {FakeDesktop::escapeKey, FakeDesktop::shortcutKey})
        for (const auto& road : roads) {
            SCOPED_TRACE(std::string(road.name) + (key == FakeDesktop::escapeKey ? ", Escape" : ", the shortcut"));
            SetUp();
            desktop.keys->clear();
            road.arrange(*this);
            auto& scheduler = *desktop.scheduler;
            std::optional<double> pressedAt, keyAt;
            std::shared_ptr<Parlox::PointOfNoReturn> point;
            point = std::make_shared<Parlox::PointOfNoReturn>([&] {
                pressedAt = scheduler.elapsed();
                desktop.keyboard->press(key);
                point->handOverEscape();  // as the controller does for a terminal
            });
            desktop.keyboard->setOnLook([&] {
                if (pressedAt && scheduler.elapsed() - *pressedAt >= held - 1e-9) desktop.keyboard->release(key);
            });
            desktop.afterKey = [&](const platform::input::FakeKeySynth::Event&) { keyAt = scheduler.elapsed(); };

            EXPECT_EQ(TextInserter::insert("planeta", context, desktop.services(), point.get()), road.outcome);
            EXPECT_EQ(field->text(), road.text);
            ASSERT_TRUE(keyAt && pressedAt);
            EXPECT_GE(*keyAt - *pressedAt, held - 1e-9);
            EXPECT_EQ(desktop.pasteboard->contents(), FakeDesktop::userClipboard());
            EXPECT_TRUE(log.contains("Esperado 0.3 s a que se soltara Esc o el atajo antes de pegar"));
        }
}

// Still held when the wait ends, from before the insertion or from its
// point of no return on: no key goes out, the field keeps its text, and the
// answer is left on the pasteboard with the reason.
TEST_F(TextInserterTest, AKeyStillHeldAfterTheWaitLeavesTheAnswerOnThePasteboard) {
    for (const bool fromThePoint : {false, true}) {
        SCOPED_TRACE(fromThePoint ? "pressed at the point" : "held before");
        SetUp();
        desktop.keys->clear();
        Parlox::PointOfNoReturn point([&] {
            if (fromThePoint) desktop.keyboard->press(FakeDesktop::escapeKey);
        });
        if (!fromThePoint) desktop.keyboard->press(FakeDesktop::escapeKey);
        const double before = desktop.scheduler->elapsed();
        EXPECT_EQ(TextInserter::insert("planeta", context, desktop.services(), &point),
                  Outcome::copied(TextInserter::keyHeldMessage));
        EXPECT_NEAR(desktop.scheduler->elapsed() - before, Parlox::HeldKeys::limit, 2 * Parlox::Settle::interval);
        EXPECT_TRUE(desktop.keys->events().empty());
        EXPECT_EQ(field->text(), "hola mundo");
        EXPECT_EQ(desktop.pasteboard->string(), "planeta");
        EXPECT_TRUE(log.contains("Esc o el atajo siguen pulsados tras 2 s: sin pegar"));
        desktop.keyboard->release(FakeDesktop::escapeKey);
    }
}

// The user switches to another program as the paste key is about to go
// out: the key is not sent there, and the answer is left on the pasteboard.
TEST_F(TextInserterTest, TheFrontProgramIsCheckedRightBeforeThePasteKey) {
    for (const bool terminal : {false, true}) {
        SCOPED_TRACE(terminal ? "terminal" : "field");
        SetUp();
        desktop.keys->clear();
        if (terminal) makeATerminal();
        desktop.pasteboard->setPrimary(platform::desktop::PrimarySelection{"seleccionado antes", 42});
        const auto primaryBefore = desktop.pasteboard->primaryContents();
        auto other = std::make_shared<FakeTextField>("otra nota", TextRange{9, 0});
        desktop.workspace->addApplication({43, "Otra", "org.example.Otra", false});
        desktop.accessibility->setFocusedElement(43, other);
        Parlox::PointOfNoReturn point([&] { desktop.workspace->setFrontmost(43); });

        EXPECT_EQ(TextInserter::insert("planeta", context, desktop.services(), &point),
                  Outcome::copied(TextInserter::switchedAppMessage));
        EXPECT_TRUE(desktop.keys->events().empty());
        EXPECT_EQ(other->text(), "otra nota");
        EXPECT_EQ(desktop.pasteboard->string(), "planeta");
        EXPECT_EQ(desktop.pasteboard->primaryContents(), primaryBefore);
    }
}

// A program in doubt (a helper of it may run a terminal) whose focus is not
// a field read over accessibility is taken as a terminal: several lines are
// copied, not pasted, and no undo is to follow the paste. One whose field
// was read is pasted into as any field.
TEST_F(TextInserterTest, AProgramInDoubtIsTakenAsATerminalUnlessItsFieldWasRead) {
    using App = platform::desktop::RunningApplication;
    struct Case {
        const char* name;
        std::function<void(TextInserterTest&)> arrange;
        bool asTerminal;
    };
    const auto inDoubt = [](TextInserterTest& t) { t.setFrontProgram([](App& a) { a.terminalInDoubt = true; }); };
    const auto notRead = [](TextInserterTest& t) {
        t.context.method = CapturedContext::Method::none;
        t.context.selectedRange.reset();
    };
    const std::vector<Case> cases{
        {"in doubt, its field not read",
         [&](TextInserterTest& t) {
             inDoubt(t);
             notRead(t);
         },
         true},
        {"in doubt, no focus known",
         [&](TextInserterTest& t) {
             inDoubt(t);
             notRead(t);
             t.context.element = nullptr;
         },
         true},
        {"with a terminal inside, its text field not read",
         [&](TextInserterTest& t) {
             t.setFrontProgram([](App& a) { a.holdsPseudoTerminal = true; });
             t.field->setRole(std::string(platform::accessibility::roles::text));
             notRead(t);
         },
         true},
        {"in doubt, its field read", [&](TextInserterTest& t) { inDoubt(t); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        desktop.keys->clear();
        c.arrange(*this);
        const Outcome lines = insert("uno\ndos");
        if (c.asTerminal) {
            EXPECT_EQ(lines, Outcome::copied(TextInserter::severalLinesMessage));
            EXPECT_TRUE(desktop.keys->events().empty());
            EXPECT_EQ(field->text(), "hola mundo");
            EXPECT_EQ(desktop.pasteboard->string(), "uno\ndos");
        } else {
            EXPECT_EQ(lines, Outcome::inserted(5, true));
            EXPECT_EQ(field->text(), "hola uno\ndos");
        }

        SetUp();
        desktop.keys->clear();
        c.arrange(*this);
        Parlox::PointOfNoReturn point;
        EXPECT_EQ(TextInserter::insert("planeta", context, desktop.services(), &point).kind, Outcome::Kind::inserted);
        EXPECT_EQ(field->text(), "hola planeta");
        EXPECT_EQ(point.passedIntoTerminal(), c.asTerminal);
        ASSERT_EQ(desktop.keys->events().size(), 1u);
        EXPECT_EQ(desktop.keys->events()[0].target, KeyTarget::mayBeTerminal);
    }
}

// The scheduler of a desktop whose main thread runs while a job waits: the
// work posted to it runs during each of the job's sleeps.
class MainRunsWhileJobsSleep final : public platform::Scheduler {
public:
    explicit MainRunsWhileJobsSleep(std::shared_ptr<platform::ManualScheduler> manual) : manual_(std::move(manual)) {}
    void post(Work work) override { manual_->post(std::move(work)); }
    platform::TimerHandle after(double seconds, Work work) override { return manual_->after(seconds, std::move(work)); }
    platform::TimerHandle every(double seconds, Work work) override { return manual_->every(seconds, std::move(work)); }
    void background(Work job) override { manual_->background(std::move(job)); }
    bool sleep(double seconds, std::stop_token stop) override {
        manual_->runPosted();
        return manual_->sleep(seconds, stop);
    }
    platform::Date now() override { return manual_->now(); }
    MonotonicClock::time_point uptime() override { return manual_->uptime(); }

private:
    std::shared_ptr<platform::ManualScheduler> manual_;
};

// The terminal's paste key waits until the controller has let Escape go
// (an Escape as the answer shows is the terminal's), and not for ever.
TEST_F(TextInserterTest, TheTerminalsPasteKeyWaitsUntilEscapeIsHandedOver) {
    for (const bool handedOver : {true, false}) {
        SCOPED_TRACE(handedOver ? "the main thread hands it over" : "the main thread never answers");
        SetUp();
        field->setRole(std::string(platform::accessibility::roles::terminal));
        field->setTerminalCursor(10);
        auto services = desktop.services();
        services.scheduler = std::make_shared<MainRunsWhileJobsSleep>(desktop.scheduler);
        std::shared_ptr<Parlox::PointOfNoReturn> point;
        point = std::make_shared<Parlox::PointOfNoReturn>([&] {
            if (handedOver) services.scheduler->post([&] { point->handOverEscape(); });
        });
        std::optional<bool> handedOverAtTheKey;
        desktop.afterKey = [&](const platform::input::FakeKeySynth::Event&) {
            handedOverAtTheKey = point->escapeHandedOver();
        };
        EXPECT_EQ(TextInserter::insert("planeta", context, services, point.get()), Outcome::inserted(10, false));
        EXPECT_EQ(handedOverAtTheKey, handedOver);
    }
}

TEST(SessionText, ComparesNormalisedText) {
    struct Case {
        const char* a;
        const char* b;
        bool same;
    };
    for (const Case& c : {Case{"Hola mundo", "  Hola mundo\r\n", true}, Case{"uno\r\ndos", "uno\ndos", true},
                          Case{"uno\rdos", "uno\ndos", true}, Case{"Hola", "hola", false},
                          Case{"caf\u00E9", "cafe\u0301", true}, Case{"", " \n", true}, Case{"a b", "ab", false}}) {
        EXPECT_EQ(Parlox::SessionText::same(c.a, c.b), c.same) << c.a << " | " << c.b;
    }
}

}  // namespace
}  // namespace dictation_test
