// The whole dictation road on fakes, from the hot key to Escape.
#include "tests/app/Dictation/DictationFixture.hpp"

namespace dictation_test {
namespace {

TEST_F(DictationTest, HotKeyToSelectedAnswerAndEscapeBackToTheOriginal) {
    defaults->set("screenContextAllowed", true);
    auto field = desktop.focusField(42, "Editor", "hola", {0, 4});
    transcriber->answer("hazlo formal");
    writer->answer("Buenos días");

    toggle();
    ASSERT_EQ(controller->phase(), Phase::recording());
    EXPECT_EQ(overlayState(), OverlayState::recording());
    EXPECT_TRUE(returnTaken());
    speak(2, -20);
    toggle();

    EXPECT_EQ(field->text(), "Buenos días");
    EXPECT_EQ(field->selection(), (TextRange{0, 11}));
    EXPECT_EQ(field->selectionText(), "Buenos días");
    ASSERT_EQ(controller->history().size(), 1u);
    const auto& entry = controller->history().front();
    EXPECT_EQ(entry.outcome, DictationController::Entry::Outcome::inserted(true));
    EXPECT_EQ(entry.original, "hola");
    EXPECT_EQ(entry.instruction, "hazlo formal");
    EXPECT_EQ(entry.result, "Buenos días");
    EXPECT_EQ(entry.app, "Editor");
    EXPECT_EQ(entry.captureMethod, Parlox::CapturedContext::Method::accessibility);
    EXPECT_NEAR(entry.audioSeconds, 2.0, 0.01);
    EXPECT_EQ(controller->phase(), Phase::idle());
    EXPECT_TRUE(escapeTaken());
    EXPECT_FALSE(returnTaken());
    EXPECT_EQ(clipboard(), pasteboardBefore);

    // What the writing tool was asked.
    ASSERT_EQ(writer->requests.size(), 1u);
    EXPECT_EQ(writer->requests[0].instruction, "hazlo formal");
    EXPECT_EQ(writer->requests[0].baseText, "hola");
    EXPECT_EQ(writer->requests[0].appName, "Editor");
    EXPECT_TRUE(writer->requests[0].screenshot.has_value());
    EXPECT_EQ(sounds->played(), (std::vector<std::string>{"Tink", "Pop"}));

    EXPECT_TRUE(escape());
    EXPECT_EQ(field->text(), "hola");
    EXPECT_EQ(field->selectionText(), "hola");
    EXPECT_TRUE(log.contains("Esc tras pegar: se deshace"));
    EXPECT_TRUE(log.contains("Deshecho (Accesibilidad)"));
    EXPECT_TRUE(controller->sessions().latest()->isUndone);
    EXPECT_EQ(clipboard(), pasteboardBefore);

    desktop.scheduler->advance(6);
    EXPECT_FALSE(escapeTaken());
    EXPECT_EQ(hotKeys->registeredCount(), 1u);  // only the dictation key at rest
}

TEST_F(DictationTest, TheUndoWindowClosesAfterDoneSeconds) {
    struct Case {
        std::optional<double> doneSeconds;
        double window;
    };
    for (const Case& c : {Case{std::nullopt, 6}, Case{0, 6}, Case{-3, 6}, Case{2.5, 2.5}}) {
        SCOPED_TRACE(c.window);
        if (c.doneSeconds)
            defaults->set("doneSeconds", *c.doneSeconds);
        else
            defaults->remove("doneSeconds");
        desktop.focusField(42, "Editor", "hola", {0, 4});
        dictate("hazlo formal", "Buenos días");
        ASSERT_TRUE(escapeTaken());
        desktop.scheduler->advance(c.window - 0.01);
        EXPECT_TRUE(escapeTaken());
        desktop.scheduler->advance(0.01);
        EXPECT_FALSE(escapeTaken());
        EXPECT_FALSE(hotKeys->tap(kEscape, 0));  // Escape reaches the application again
    }
}

TEST_F(DictationTest, LogFollowsTheRoad) {
    defaults->set("screenContextAllowed", true);
    desktop.focusField(42, "Editor", "hola", {0, 4});
    dictate("hazlo formal", "Buenos días");
    for (const char* line : {"Contexto: Editor · método Accesibilidad · selección 4 caracteres · cursor sí",
                             "Grabación: 2.0 s, pico -20 dBFS", "Captura de la ventana: sí",
                             "Insertado y seleccionado"})
        EXPECT_TRUE(log.contains(line)) << line;
    EXPECT_TRUE(log.containsPrefix("Codex: ")) << "the display name of the default tool";
    EXPECT_TRUE(log.containsPrefix("Grabación iniciada · entrada 48000 Hz, 1 canales"));
}

TEST_F(DictationTest, ASecondRoundOnTheResultIteratesOnTheSession) {
    auto field = desktop.focusField(42, "Editor", "hola", {0, 4});
    dictate("hazlo formal", "Buenos días");
    desktop.scheduler->advance(10);
    dictate("más corto", "Hola");
    ASSERT_EQ(writer->requests.size(), 2u);
    ASSERT_TRUE(writer->requests[1].previous.has_value());
    EXPECT_EQ(writer->requests[1].previous->original, "hola");
    EXPECT_EQ(writer->requests[1].previous->result, "Buenos días");
    EXPECT_EQ(writer->requests[1].baseText, "Buenos días");
    ASSERT_EQ(controller->sessions().sessions().size(), 1u);
    EXPECT_EQ(controller->sessions().latest()->rounds.size(), 2u);
    EXPECT_TRUE(log.containsPrefix("Iteración (exact("));
    EXPECT_EQ(field->text(), "Hola");

    // Back to the first round's text, then Escape takes it back to the original.
    controller->revertToPrevious(controller->sessions().latest()->id);
    desktop.scheduler->settle();
    EXPECT_EQ(field->text(), "Buenos días");
    EXPECT_TRUE(log.contains("Versión anterior restaurada"));
    EXPECT_TRUE(escapeTaken());
    escape();
    EXPECT_EQ(field->text(), "hola");
}

TEST_F(DictationTest, HistoryKeepsTheTenNewest) {
    desktop.focusField(42, "Editor", "", {0, 0});
    for (int i = 0; i < 12; ++i) {
        dictate("instrucción " + std::to_string(i), "texto " + std::to_string(i));
        desktop.scheduler->advance(7);
    }
    ASSERT_EQ(controller->history().size(), 10u);
    EXPECT_EQ(controller->history().front().instruction, "instrucción 11");
    EXPECT_EQ(controller->history().back().instruction, "instrucción 2");
}

}  // namespace
}  // namespace dictation_test
