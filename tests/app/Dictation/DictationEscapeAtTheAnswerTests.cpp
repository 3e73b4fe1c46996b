// Escape as the answer goes in: before the paste key it calls the insertion
// off, after it it undoes the text once it is in, and a terminal keeps it.
#include "tests/app/Dictation/DictationFixture.hpp"

namespace dictation_test {
namespace {

using Key = platform::input::FakeKeySynth::Key;
using Operation = platform::desktop::FakePasteboard::Operation;

class EscapeAtTheAnswerTest : public DictationTest {
public:
    void SetUp() override {
        DictationTest::SetUp();
        field = desktop.focusField(42, "Editor", "hola", {0, 4});
    }

    // Up to the answer: the writing tool has answered and the insertion
    // waits in the scheduler, its paste key not out yet.
    void dictateUpToTheInsertion() {
        transcriber->answer("hazlo formal");
        writer->answer("Buenos días");
        toggle();
        speak(2);
        hotKeys->tap(kSpace, kOption);
        auto& scheduler = *desktop.scheduler;
        scheduler.runJobs();  // transcription
        scheduler.runPosted();
        scheduler.runJobs();  // writing tool
        scheduler.runPosted();
        ASSERT_EQ(controller->phase(), Phase::writing());
        ASSERT_EQ(scheduler.pendingJobs(), 1u);  // the insertion
    }

    // The user presses Escape as the program takes the paste key.
    void escapeAtThePasteKey() {
        desktop.afterKey = [this, pressed = false](const platform::input::FakeKeySynth::Event& event) mutable {
            if (event.key != Key::paste || pressed) return;
            pressed = true;
            hotKeys->tap(kEscape, 0);
        };
    }

    bool logged(const std::string& part) const {
        for (const auto& line : log.lines())
            if (line.find(part) != std::string::npos) return true;
        return false;
    }

    // The insertion was called off before its paste key: nothing of it
    // happened, and nothing is left to undo.
    void expectCalledOffWithoutATrace() const {
        EXPECT_TRUE(log.contains("Cancelado (writing)"));
        EXPECT_FALSE(logged("Insertado"));
        EXPECT_FALSE(logged("deshace"));
        EXPECT_TRUE(desktop.keys->events().empty());
        EXPECT_EQ(field->text(), "hola");
        EXPECT_EQ(clipboard(), pasteboardBefore);
        // Not even for a moment: a clipboard manager would have kept the answer.
        const auto operations = desktop.pasteboard->operations();
        EXPECT_EQ(std::count(operations.begin(), operations.end(), Operation::setString), 0);
        EXPECT_EQ(std::count(operations.begin(), operations.end(), Operation::writeItems), 0);
        EXPECT_TRUE(controller->history().empty());
        EXPECT_EQ(controller->phase(), Phase::idle());
        EXPECT_FALSE(controller->undoable());
        EXPECT_FALSE(escapeTaken());
    }

    std::shared_ptr<FakeTextField> field;
};

TEST_F(EscapeAtTheAnswerTest, BeforeThePasteKeyNothingIsEverPasted) {
    ASSERT_NO_FATAL_FAILURE(dictateUpToTheInsertion());
    desktop.pasteboard->clearLog();
    EXPECT_TRUE(escape());  // the insertion's job runs after it
    desktop.scheduler->advance(10);

    expectCalledOffWithoutATrace();
}

TEST_F(EscapeAtTheAnswerTest, AfterThePasteKeyTheTextIsUndoneOnceItIsIn) {
    escapeAtThePasteKey();
    dictate("hazlo formal", "Buenos días");

    EXPECT_EQ(field->text(), "hola");
    EXPECT_EQ(field->selectionText(), "hola");
    const auto lines = log.lines();
    const auto inserted = std::find(lines.begin(), lines.end(), "Insertado y seleccionado");
    const auto asked = std::find(lines.begin(), lines.end(), "Esc tras pegar: se deshace");
    ASSERT_NE(asked, lines.end());
    EXPECT_LT(inserted, asked);
    EXPECT_TRUE(log.contains("Deshecho (Accesibilidad)"));
    EXPECT_FALSE(logged("Cancelado"));
    EXPECT_EQ(clipboard(), pasteboardBefore);
    ASSERT_EQ(controller->history().size(), 1u);
    EXPECT_EQ(controller->history()[0].outcome, DictationController::Entry::Outcome::inserted(true));
    EXPECT_TRUE(controller->sessions().latest()->isUndone);
    EXPECT_EQ(controller->phase(), Phase::idle());
    EXPECT_FALSE(controller->undoable());
    EXPECT_FALSE(escapeTaken());
}

// Escape goes down with the answer on the clipboard and the paste key about
// to go out, and stays down a moment: its grab would take the key. The key
// waits for it, the answer goes in, and the Escape undoes it.
TEST_F(EscapeAtTheAnswerTest, AnEscapeHeldAsThePasteKeyIsAboutToGoOutIsWaitedForThenUndoes) {
    std::optional<double> pressedAt;
    desktop.keyboard->setOnLook([&] {
        const double now = desktop.scheduler->elapsed();
        if (!pressedAt && desktop.pasteboard->string() == std::optional<std::string>("Buenos días")) {
            pressedAt = now;
            desktop.keyboard->press(kEscape);
            hotKeys->press(kEscape, 0);
        } else if (pressedAt && now - *pressedAt >= 0.3 - 1e-9 && desktop.keyboard->isAnyDown({kEscape})) {
            desktop.keyboard->release(kEscape);
            hotKeys->release(kEscape);
        }
    });
    dictate("hazlo formal", "Buenos días");

    ASSERT_TRUE(pressedAt);
    EXPECT_TRUE(log.contains("Esperado 0.3 s a que se soltara Esc o el atajo antes de pegar"));
    EXPECT_TRUE(log.contains("Insertado y seleccionado"));
    EXPECT_TRUE(log.contains("Esc tras pegar: se deshace"));
    EXPECT_TRUE(log.contains("Deshecho (Accesibilidad)"));
    EXPECT_FALSE(logged("Cancelado"));
    EXPECT_EQ(field->text(), "hola");
    EXPECT_EQ(field->selectionText(), "hola");
    EXPECT_EQ(clipboard(), pasteboardBefore);
    EXPECT_EQ(desktop.keys->keys(), (std::vector<Key>{Key::paste, Key::paste}));
    EXPECT_FALSE(controller->undoable());
}

// Escape is already down as the insertion begins, and the main thread gets
// to it only a moment later: the insertion waits for it before it writes
// anything, so the call-off is seen first and the answer never reaches the
// pasteboard.
TEST_F(EscapeAtTheAnswerTest, AnEscapeDownAsTheInsertionBeginsCallsItOffBeforeAnythingIsWritten) {
    ASSERT_NO_FATAL_FAILURE(dictateUpToTheInsertion());
    desktop.pasteboard->clearLog();
    auto& scheduler = *desktop.scheduler;
    std::optional<double> pressedAt;
    bool handled = false;
    desktop.keyboard->setOnLook([&] {
        const double now = scheduler.elapsed();
        if (!pressedAt) {
            pressedAt = now;
            desktop.keyboard->press(kEscape);
        } else if (!handled && now - *pressedAt >= 0.1 - 1e-9) {
            handled = true;
            hotKeys->press(kEscape, 0);
        } else if (handled && now - *pressedAt >= 0.3 - 1e-9 && desktop.keyboard->isAnyDown({kEscape})) {
            desktop.keyboard->release(kEscape);
            hotKeys->release(kEscape);
        }
    });
    scheduler.advance(10);

    ASSERT_TRUE(handled);
    expectCalledOffWithoutATrace();
}

// The field ignored the paste: the answer is on the pasteboard, and there
// is nothing to undo.
TEST_F(EscapeAtTheAnswerTest, AfterThePasteKeyOfAFailedInsertionNothingIsUndone) {
    field->setAcceptsPaste(false);
    escapeAtThePasteKey();
    dictate("hazlo formal", "Buenos días");
    const auto keysSent = desktop.keys->keys();

    EXPECT_TRUE(log.contains(Parlox::TextInserter::notPastedMessage));
    EXPECT_FALSE(logged("Cancelado"));
    EXPECT_FALSE(logged("deshace"));
    EXPECT_EQ(keysSent, (std::vector<Key>{Key::paste}));
    EXPECT_EQ(desktop.pasteboard->string(), "Buenos días");
    EXPECT_EQ(overlayState(), OverlayState::done("Copiado"));
    EXPECT_FALSE(controller->undoable());
}

// The paste key went to a terminal: Escape is the terminal's from then on,
// no undo is armed, and the user's clipboard stays theirs. The panel can
// still copy the original.
TEST_F(EscapeAtTheAnswerTest, ATerminalKeepsEscapeAndTheClipboard) {
    field->setText("$ hola mundo", {7, 5});
    field->setRole(std::string(platform::accessibility::roles::terminal));
    field->setTerminalCursor(12);
    std::optional<bool> escapeTakenAtTheKey, escapeTakenFromTheTerminal;
    desktop.afterKey = [&](const platform::input::FakeKeySynth::Event& event) {
        if (event.key != Key::paste) return;
        desktop.scheduler->runPosted();  // the main thread goes on meanwhile
        escapeTakenAtTheKey = escapeTaken();
        escapeTakenFromTheTerminal = hotKeys->tap(kEscape, 0);
    };
    dictate("hazlo formal", "Buenos días");

    EXPECT_EQ(escapeTakenAtTheKey, false);
    EXPECT_EQ(escapeTakenFromTheTerminal, false);
    EXPECT_EQ(field->text(), "$ hola mundoBuenos días");
    EXPECT_TRUE(log.contains("Insertado"));
    EXPECT_FALSE(controller->undoable());
    EXPECT_FALSE(escapeTaken());
    EXPECT_FALSE(escape());
    EXPECT_EQ(clipboard(), pasteboardBefore);
    EXPECT_FALSE(logged("Cancelado"));
    EXPECT_FALSE(logged("deshace"));
    EXPECT_EQ(desktop.keys->keys(), (std::vector<Key>{Key::paste}));

    controller->undo(controller->sessions().latest()->id);
    desktop.scheduler->settle();
    EXPECT_EQ(desktop.pasteboard->string(), "mundo");
    EXPECT_EQ(overlayState(), OverlayState::done("Original copiado"));
    EXPECT_EQ(field->text(), "$ hola mundoBuenos días");
}

// An editor whose terminal panel runs in a helper process is in doubt:
// where its focus was not read over accessibility, its answer is handled as
// a terminal's. Several lines are copied, not pasted; one line is pasted,
// with Escape handed back to the program and no undo armed.
TEST_F(EscapeAtTheAnswerTest, AProgramInDoubtWhoseFieldWasNotReadIsTakenAsATerminal) {
    desktop.workspace->addApplication({42, "Editor", "org.example.Editor", false, false, /*terminalInDoubt=*/true});
    field->setSelectedTextReadable(false);

    dictate("hazlo formal", "Buenos días\nSaludos");
    EXPECT_TRUE(log.containsPrefix("Contexto: Editor · método ninguno"));
    EXPECT_TRUE(log.contains(Parlox::TextInserter::severalLinesMessage));
    EXPECT_EQ(overlayState(), OverlayState::done("Copiado"));
    EXPECT_EQ(field->text(), "hola");
    EXPECT_EQ(desktop.pasteboard->string(), "Buenos días\nSaludos");
    EXPECT_TRUE(desktop.keys->events().empty());

    desktop.scheduler->advance(3);
    dictate("hazlo formal", "Buenos días");
    EXPECT_EQ(field->text(), "Buenos días");
    EXPECT_TRUE(logged("Insertado"));
    EXPECT_FALSE(controller->undoable());
    EXPECT_FALSE(escapeTaken());
    EXPECT_FALSE(escape());
    EXPECT_EQ(field->text(), "Buenos días");
    EXPECT_FALSE(logged("deshace"));
}

}  // namespace
}  // namespace dictation_test
