// Escape undo and the return to the previous version.
#include "tests/app/Dictation/DictationFixture.hpp"

namespace dictation_test {
namespace {

using Key = platform::input::FakeKeySynth::Key;
using platform::desktop::FakeWorkspace;

class UndoTest : public DictationTest {
public:
    void SetUp() override {
        DictationTest::SetUp();
        field = desktop.focusField(42, "Editor", "hola", {0, 4});
    }
    // One dictation, then `rounds - 1` more on its result.
    platform::UUID dictateRounds(int rounds) {
        dictate("hazlo formal", "Buenos días");
        for (int i = 1; i < rounds; ++i) {
            desktop.scheduler->advance(1);
            dictate("otra vez", "Buenas tardes " + std::to_string(i));
        }
        return controller->sessions().latest()->id;
    }
    // Another program comes to the front at the first look at the focus.
    void switchAwayDuringTheChecks() {
        desktop.workspace->addApplication({77, "Otra", "org.example.Otra", false});
        desktop.accessibility->onLookUp([this] { desktop.workspace->setFrontmost(77); });
    }
    std::shared_ptr<FakeTextField> field;
};

TEST_F(UndoTest, AnEmptyOriginalIsTakenBackWithTheDeleteKey) {
    field->setText("", {0, 0});
    dictate("escribe un saludo", "Buenos días");
    ASSERT_EQ(field->text(), "Buenos días");
    desktop.keys->clear();
    escape();
    EXPECT_EQ(field->text(), "");
    EXPECT_EQ(desktop.keys->keys(), (std::vector<Key>{Key::deleteBackward}));
    EXPECT_TRUE(log.contains("Deshecho (Accesibilidad)"));
}

TEST_F(UndoTest, TheDeleteKeyGoesOnlyWhileTheProgramIsStillInFront) {
    field->setText("", {0, 0});
    dictate("escribe un saludo", "Buenos días");
    desktop.keys->clear();
    switchAwayDuringTheChecks();
    escape();
    EXPECT_TRUE(desktop.keys->keys().empty());
    EXPECT_EQ(field->text(), "Buenos días");
    EXPECT_TRUE(log.contains("No se pudo deshacer: Estás en otra app"));
    EXPECT_EQ(overlayState(), OverlayState::done("Estás en otra app"));
}

TEST_F(UndoTest, EditedTextOfOneRoundGetsTheUndoKey) {
    dictateRounds(1);
    field->edit("Muy buenos días", {15, 0});
    desktop.keys->clear();
    escape();
    EXPECT_EQ(desktop.keys->keys(), (std::vector<Key>{Key::undo}));
    EXPECT_TRUE(log.contains("Deshecho (⌘Z)"));
    EXPECT_TRUE(controller->sessions().latest()->isUndone);
}

// A browser shows a selection a moment after taking it: the check waits for
// the result to show rather than take it for the user's edit.
TEST_F(UndoTest, AResultSelectedLateIsStillVerifiedAndReplaced) {
    dictateRounds(1);
    field->setSelectionLag(4);
    desktop.keys->clear();
    escape();
    EXPECT_EQ(field->text(), "hola");
    EXPECT_EQ(desktop.keys->keys(), (std::vector<Key>{Key::paste}));
    EXPECT_TRUE(log.contains("Deshecho (Accesibilidad)"));
}

// Escape's grab takes the focus from the window while the key is down: the
// check waits for it to come back rather than call it another field.
TEST_F(UndoTest, AFocusAwayForAMomentIsWaitedFor) {
    dictateRounds(1);
    desktop.accessibility->scriptMisses({platform::accessibility::FocusLookup::Miss::nothingFocused,
                                         platform::accessibility::FocusLookup::Miss::nothingFocused});
    desktop.keys->clear();
    escape();
    EXPECT_EQ(field->text(), "hola");
    EXPECT_TRUE(log.contains("Deshecho (Accesibilidad)"));
}

// Escape is still down as the undo it asked for begins, and its grab would
// take the undo's key: each key waits until Escape is let go. (The undo key
// comes only after the text check has waited its second.)
TEST_F(UndoTest, EachUndoKeyWaitsUntilEscapeIsLetGo) {
    struct Case {
        const char* name;
        const char* original;
        bool editedAfter;  // the user changed the result: only the undo key is left
        double held;
        Key key;
        const char* action;
        const char* logLine;
    };
    for (const Case& c : {Case{"the original pasted back", "hola", false, 0.3, Key::paste, "pegar",
                               "Deshecho (Accesibilidad)"},
                          Case{"the result deleted", "", false, 0.3, Key::deleteBackward, "borrar",
                               "Deshecho (Accesibilidad)"},
                          Case{"the undo key", "hola", true, 1.5, Key::undo, "deshacer", "Deshecho (⌘Z)"}}) {
        SCOPED_TRACE(c.name);
        field->setText(c.original, {0, static_cast<int64_t>(std::string(c.original).size())});
        dictate("hazlo formal", "Buenos días");
        if (c.editedAfter) field->edit("Muy buenos días", {15, 0});
        desktop.keys->clear();
        auto& scheduler = *desktop.scheduler;
        std::optional<double> keyAt;
        desktop.afterKey = [&](const platform::input::FakeKeySynth::Event&) { keyAt = scheduler.elapsed(); };
        const double pressedAt = scheduler.elapsed();
        desktop.keyboard->press(kEscape);
        desktop.keyboard->setOnLook([&] {
            if (scheduler.elapsed() - pressedAt >= c.held - 1e-9) desktop.keyboard->release(kEscape);
        });
        EXPECT_TRUE(hotKeys->press(kEscape, 0));
        scheduler.settle();
        hotKeys->release(kEscape);

        EXPECT_EQ(desktop.keys->keys(), (std::vector<Key>{c.key}));
        ASSERT_TRUE(keyAt);
        EXPECT_GE(*keyAt - pressedAt, c.held - 1e-9);
        if (!c.editedAfter) {
            EXPECT_EQ(field->text(), c.original);
        }
        const std::string waited = std::string(" s a que se soltara Esc o el atajo antes de ") + c.action;
        const auto lines = log.lines();
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.rfind("Esperado ", 0) == 0 && line.size() > waited.size() &&
                   line.compare(line.size() - waited.size(), waited.size(), waited) == 0;
        })) << waited;
        EXPECT_TRUE(log.contains(c.logLine));
        EXPECT_EQ(clipboard(), pasteboardBefore);
        desktop.afterKey = nullptr;
        desktop.keyboard->setOnLook(nullptr);
        scheduler.advance(10);
    }
}

struct UndoFailure {
    const char* name;
    std::function<void(UndoTest&)> arrange;  // after the dictations
    int rounds;
    const char* reason;
};

void PrintTo(const UndoFailure& c, std::ostream* os) { *os << c.name; }

class UndoFailureTest : public UndoTest, public ::testing::WithParamInterface<UndoFailure> {};

TEST_P(UndoFailureTest, TheOriginalGoesToThePasteboardAndTheFieldIsLeftAlone) {
    const UndoFailure& c = GetParam();
    const auto id = dictateRounds(c.rounds);
    c.arrange(*this);
    const std::string before = field->text();
    desktop.keys->clear();
    controller->undo(id);
    desktop.scheduler->settle();

    EXPECT_TRUE(log.contains(std::string("No se pudo deshacer: ") + c.reason + ". Original al portapapeles"));
    EXPECT_EQ(desktop.pasteboard->string(), "hola");
    EXPECT_EQ(field->text(), before);
    EXPECT_TRUE(desktop.keys->keys().empty());
    EXPECT_FALSE(controller->sessions().session(id)->isUndone);
    EXPECT_EQ(controller->phase(), Phase::idle());
    EXPECT_EQ(overlayState(), OverlayState::done("Original copiado"));
    EXPECT_TRUE(overlay->visible);
    desktop.scheduler->advance(2.5);
    EXPECT_EQ(overlayState(), OverlayState::hidden());
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, UndoFailureTest,
    ::testing::Values(
        UndoFailure{"EditedAfterTwoRounds", [](UndoTest& t) { t.field->edit("Buenas noches", {13, 0}); }, 2,
                    "El texto ya no está como lo dejé"},
        UndoFailure{"EditedInATerminal",
                    [](UndoTest& t) {
                        t.field->setRole(std::string(platform::accessibility::roles::terminal));
                        t.field->edit("$ Buenos días", {13, 0});
                    },
                    1, "Un terminal no deja reemplazar el texto"},
        // Where the text still reads as it was left, a paste would only add to it.
        UndoFailure{"UneditedInATerminal",
                    [](UndoTest& t) {
                        t.field->setRole(std::string(platform::accessibility::roles::terminal));
                        t.field->setTerminalCursor(11);
                    },
                    1, "Un terminal no deja reemplazar el texto"},
        UndoFailure{"AnotherApplicationThatStaysInFront",
                    [](UndoTest& t) {
                        t.desktop.workspace->addApplication({77, "Otra", "org.example.Otra", false});
                        t.desktop.workspace->setFrontmost(77);
                        t.desktop.workspace->setActivation(FakeWorkspace::Activation::refused);
                    },
                    1, "Estás en otra app"},
        UndoFailure{"NoLongerTrusted", [](UndoTest& t) { t.desktop.accessibility->trusted = false; }, 1,
                    "Sin Accesibilidad"},
        // The user went to another program while the checks ran; its toolkit
        // still reports the focus in the window left behind.
        UndoFailure{"SwitchedAwayBeforeThePasteKey", [](UndoTest& t) { t.switchAwayDuringTheChecks(); }, 1,
                    "Estás en otra app"},
        UndoFailure{"SwitchedAwayBeforeTheUndoKey",
                    [](UndoTest& t) {
                        t.field->edit("Muy buenos días", {15, 0});
                        t.switchAwayDuringTheChecks();
                    },
                    1, "Estás en otra app"},
        // Not an edit, not another field: the program does not say.
        UndoFailure{"NoAnswerAboutTheFocus",
                    [](UndoTest& t) {
                        t.desktop.accessibility->scriptMisses(std::vector<platform::accessibility::FocusLookup::Miss>(
                            1000, platform::accessibility::FocusLookup::Miss::noAnswer));
                    },
                    1, "La app no responde"},
        UndoFailure{"NoAnswerAboutTheText", [](UndoTest& t) { t.field->setUnansweredReads(1000); }, 1,
                    "La app no responde"},
        // Its grab would take the key: nothing is sent at all.
        UndoFailure{"EscapeStillDownAfterTheWait",
                    [](UndoTest& t) { t.desktop.keyboard->press(kEscape); }, 1, "Esc o el atajo sin soltar"},
        UndoFailure{"TheShortcutStillDownBeforeTheUndoKey",
                    [](UndoTest& t) {
                        t.field->edit("Muy buenos días", {15, 0});
                        t.desktop.keyboard->press(kSpace);
                    },
                    1, "Esc o el atajo sin soltar"}),
    [](const auto& info) { return std::string(info.param.name); });

// A desktop too busy to answer whether accessibility is there says nothing
// is missing: the undo goes on and reads the field itself.
TEST_F(UndoTest, ATrustLookLeftUnansweredStillGivesTheOriginalBack) {
    dictateRounds(1);
    desktop.accessibility->trusted = false;
    desktop.accessibility->untrustedBecause = platform::accessibility::TrustGap::noAnswer;
    escape();
    EXPECT_EQ(field->text(), "hola");
    EXPECT_TRUE(log.contains("Deshecho (Accesibilidad)"));
    EXPECT_FALSE(log.containsPrefix("No se pudo deshacer"));
}

TEST_F(UndoTest, BringsTheApplicationBackBeforeReplacing) {
    const auto id = dictateRounds(1);
    desktop.workspace->addApplication({77, "Otra", "org.example.Otra", false});
    desktop.workspace->setFrontmost(77);
    desktop.workspace->setActivation(FakeWorkspace::Activation::afterChecks, 3);
    const auto sleepsBefore = desktop.scheduler->sleeps().size();
    controller->undo(id);
    desktop.scheduler->settle();
    EXPECT_EQ(field->text(), "hola");
    EXPECT_EQ(desktop.workspace->activations(), (std::vector<int32_t>{42}));
    const auto sleeps = desktop.scheduler->sleeps();
    // Two checks find it missing (30 ms each), then 80 ms, then the replacement's own waits.
    EXPECT_EQ(std::vector<double>(sleeps.begin() + static_cast<long>(sleepsBefore), sleeps.begin() + static_cast<long>(sleepsBefore) + 3),
              (std::vector<double>{0.03, 0.03, 0.08}));
}

TEST_F(UndoTest, ASessionIsUndoneOnceAndARevertNeedsTwoRounds) {
    const auto id = dictateRounds(1);
    controller->revertToPrevious(id);  // one round: nothing to go back to
    desktop.scheduler->settle();
    EXPECT_EQ(field->text(), "Buenos días");
    EXPECT_TRUE(desktop.workspace->activations().empty());

    controller->undo(id);
    desktop.scheduler->settle();
    EXPECT_EQ(field->text(), "hola");
    field->edit("hola de nuevo", {0, 0});
    controller->undo(id);
    desktop.scheduler->settle();
    EXPECT_EQ(field->text(), "hola de nuevo");
    const auto lines = log.lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Deshecho (Accesibilidad)"), 1);
}

using Request = std::function<void(UndoTest&, const platform::UUID&)>;

void undoRequest(UndoTest& t, const platform::UUID& id) { t.controller->undo(id); }
void revertRequest(UndoTest& t, const platform::UUID& id) { t.controller->revertToPrevious(id); }
void escapeRequest(UndoTest& t, const platform::UUID&) { t.hotKeys->tap(kEscape, 0); }

struct Repeat {
    const char* name;
    int rounds;
    Request first, second;
    const char* text;  // the field afterwards
};

void PrintTo(const Repeat& c, std::ostream* os) { *os << c.name; }

class RepeatTest : public UndoTest, public ::testing::WithParamInterface<Repeat> {};

TEST_P(RepeatTest, ASecondRequestWhileTheFirstIsUnderWayDoesNothing) {
    const Repeat& c = GetParam();
    const auto id = dictateRounds(c.rounds);
    desktop.keys->clear();
    c.first(*this, id);
    c.second(*this, id);  // before the first one's job has run
    desktop.scheduler->settle();
    EXPECT_EQ(field->text(), c.text);
    const auto keys = desktop.keys->keys();
    EXPECT_EQ(std::count(keys.begin(), keys.end(), Key::undo), 0);
    EXPECT_EQ(std::count(keys.begin(), keys.end(), Key::paste), 1);
    EXPECT_EQ(clipboard(), pasteboardBefore);
}

INSTANTIATE_TEST_SUITE_P(Requests, RepeatTest,
                         ::testing::Values(Repeat{"EscapeThenThePanel", 1, escapeRequest, undoRequest, "hola"},
                                           Repeat{"TwoUndos", 1, undoRequest, undoRequest, "hola"},
                                           Repeat{"TwoReverts", 2, revertRequest, revertRequest, "Buenos días"},
                                           Repeat{"RevertThenUndo", 2, revertRequest, undoRequest, "Buenos días"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(UndoTest, AFailedRevertCopiesThePreviousVersion) {
    const auto id = dictateRounds(2);
    field->edit("otra cosa", {0, 0});
    controller->revertToPrevious(id);
    desktop.scheduler->settle();
    EXPECT_EQ(desktop.pasteboard->string(), "Buenos días");
    EXPECT_EQ(overlayState(), OverlayState::done("Versión copiada"));
    EXPECT_EQ(field->text(), "otra cosa");
    EXPECT_EQ(controller->sessions().session(id)->rounds.size(), 2u);
    EXPECT_TRUE(desktop.keys->keys().empty() || desktop.keys->keys().back() != Key::undo);
}

// The text could not go back and the pasteboard does not take it either:
// the user is told so, not that it was copied, and keeps their contents.
void expectTheVersionNotCopied(UndoTest& t, const Request& request, const std::string& logLine) {
    const auto id = t.dictateRounds(2);
    t.field->edit("otra cosa", {0, 0});
    t.desktop.pasteboard->failWrites(true);
    request(t, id);
    t.desktop.scheduler->settle();
    EXPECT_TRUE(t.log.contains(logLine));
    EXPECT_EQ(t.overlayState(), OverlayState::done("No se pudo copiar al portapapeles"));
    EXPECT_EQ(t.clipboard(), t.pasteboardBefore);
    EXPECT_EQ(t.field->text(), "otra cosa");
}

TEST_F(UndoTest, AnOriginalThatCannotBeCopiedEitherIsSaidSo) {
    expectTheVersionNotCopied(
        *this, undoRequest, "No se pudo deshacer: El texto ya no está como lo dejé. No se pudo copiar al portapapeles");
}

TEST_F(UndoTest, APreviousVersionThatCannotBeCopiedEitherIsSaidSo) {
    expectTheVersionNotCopied(*this, revertRequest, "No se pudo copiar al portapapeles");
}
// The user clicked into another field of the same program: the result is
// still in place and selectable, but keys would reach the other field.
struct OtherFieldCase {
    const char* name;
    bool emptyOriginal;
    int rounds;
    Request request;
    const char* copied;   // on the pasteboard afterwards; nullptr: the user's contents stay
    const char* overlay;  // what the indicator says
    const char* logged;   // nullptr: nothing
};

void PrintTo(const OtherFieldCase& c, std::ostream* os) { *os << c.name; }

class OtherFieldTest : public UndoTest, public ::testing::WithParamInterface<OtherFieldCase> {};

TEST_P(OtherFieldTest, NothingIsSentAndTheTextGoesToThePasteboard) {
    const OtherFieldCase& c = GetParam();
    if (c.emptyOriginal) field->setText("", {0, 0});
    const auto id = dictateRounds(c.rounds);
    const std::string result = field->text();
    auto other = std::make_shared<FakeTextField>("nota aparte", TextRange{0, 4});
    desktop.accessibility->setFocusedElement(42, other);
    desktop.keys->clear();
    c.request(*this, id);
    desktop.scheduler->settle();

    EXPECT_TRUE(desktop.keys->keys().empty());
    EXPECT_EQ(other->text(), "nota aparte");
    EXPECT_EQ(field->text(), result);
    EXPECT_FALSE(controller->sessions().session(id)->isUndone);
    EXPECT_EQ(controller->sessions().session(id)->rounds.size(), static_cast<size_t>(c.rounds));
    if (c.copied)
        EXPECT_EQ(desktop.pasteboard->string(), c.copied);
    else
        EXPECT_EQ(clipboard(), pasteboardBefore);
    EXPECT_EQ(overlayState(), OverlayState::done(c.overlay));
    if (c.logged) {
        EXPECT_TRUE(log.contains(c.logged));
    }
    for (const auto& line : log.lines()) EXPECT_EQ(line.find("Deshecho"), std::string::npos) << line;
    EXPECT_EQ(controller->phase(), Phase::idle());
}

INSTANTIATE_TEST_SUITE_P(
    Requests, OtherFieldTest,
    ::testing::Values(OtherFieldCase{"Escape", false, 1, escapeRequest, "hola", "Original copiado",
                                     "No se pudo deshacer: Estás en otro campo. Original al portapapeles"},
                      OtherFieldCase{"EscapeOverAnEmptyOriginal", true, 1, escapeRequest, nullptr,
                                     "Estás en otro campo", "No se pudo deshacer: Estás en otro campo"},
                      OtherFieldCase{"UndoOfTwoRounds", false, 2, undoRequest, "hola", "Original copiado",
                                     "No se pudo deshacer: Estás en otro campo. Original al portapapeles"},
                      OtherFieldCase{"Revert", false, 2, revertRequest, "Buenos días", "Versión copiada", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UndoTest, AnEmptyOriginalThatCannotComeBackLeavesThePasteboardAloneAndSaysWhy) {
    field->setText("", {0, 0});
    dictate("escribe", "Buenos días");
    desktop.scheduler->advance(1);
    dictate("otra vez", "Buenas tardes");
    field->edit("cambiado", {0, 0});
    controller->undo(controller->sessions().latest()->id);
    desktop.scheduler->settle();
    EXPECT_EQ(clipboard(), pasteboardBefore);
    EXPECT_EQ(field->text(), "cambiado");
    // Nothing was copied, so nothing says so: the reason is what the user reads.
    const auto lines = log.lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "No se pudo deshacer: El texto ya no está como lo dejé"), 1);
    for (const auto& line : lines) EXPECT_EQ(line.find("portapapeles"), std::string::npos) << line;
    EXPECT_EQ(overlayState(), OverlayState::done("El texto ya no está como lo dejé"));
    EXPECT_TRUE(overlay->visible);
}

TEST_F(UndoTest, AnUndoThatFailsDuringANewDictationLeavesThatDictationAlone) {
    const auto id = dictateRounds(2);
    field->edit("Buenas noches", {0, 13});
    desktop.scheduler->advance(10);
    transcriber->answer("nuevo");
    writer->answer("Nuevo texto");
    controller->undo(id);              // its job waits in the scheduler
    hotKeys->tap(kSpace, kOption);     // a new dictation begins meanwhile
    desktop.scheduler->settle();
    EXPECT_TRUE(log.containsPrefix("No se pudo deshacer: "));
    EXPECT_EQ(controller->phase(), Phase::recording());
    EXPECT_EQ(overlayState(), OverlayState::recording());
    speak(1);
    toggle();
    EXPECT_EQ(field->text(), "Nuevo texto");
}

}  // namespace
}  // namespace dictation_test
