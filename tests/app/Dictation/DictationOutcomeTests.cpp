// Every way a dictation can end, and what each leaves of the user's text and pasteboard.
#include <functional>
#include <stdexcept>

#include "app/Transcription/ModelStatus.hpp"
#include "tests/app/Dictation/DictationFixture.hpp"
#include "writing/ClaudeCodeProvider.hpp"
#include "writing/CodexProvider.hpp"

namespace dictation_test {
namespace {

using Entry = DictationController::Entry;
using CodexError = ParloxCore::CodexProvider::CodexError;

struct Ending {
    const char* name;
    std::function<void(DictationTest&, FakeTextField&)> arrange;  // before the hot key
    double seconds;                                                // spoken
    double dbfs;
    Phase phase;
    OverlayState overlay;
    std::optional<double> hiddenAfter;  // the indicator goes away after this long
    const char* logLine;
    bool transcribed;
    bool written;
    std::optional<Entry::Outcome> history;
    std::string fieldText;               // what the field reads afterwards
    std::optional<std::string> clipboardText;  // none: the user's own contents are back
};

void PrintTo(const Ending& c, std::ostream* os) { *os << c.name; }

class DictationEndingTest : public DictationTest, public ::testing::WithParamInterface<Ending> {};

TEST_P(DictationEndingTest, EachEndingShowsItsPhaseIndicatorLogAndHistoryAndKeepsTheUsersText) {
    const Ending& c = GetParam();
    auto field = desktop.focusField(42, "Editor", "hola", {0, 4});
    transcriber->answer("hazlo formal");
    writer->answer("Buenos días");
    c.arrange(*this, *field);

    toggle();
    speak(c.seconds, c.dbfs);
    toggle();

    EXPECT_EQ(controller->phase(), c.phase);
    EXPECT_EQ(overlayState(), c.overlay);
    EXPECT_TRUE(log.contains(c.logLine)) << c.logLine;
    EXPECT_EQ(transcriber->calls().size(), c.transcribed ? 1u : 0u);
    EXPECT_EQ(writer->requests.size(), c.written ? 1u : 0u);
    if (c.history) {
        ASSERT_EQ(controller->history().size(), 1u);
        EXPECT_EQ(controller->history().front().outcome, *c.history);
    } else {
        EXPECT_TRUE(controller->history().empty());
    }
    EXPECT_EQ(field->text(), c.fieldText);
    if (c.fieldText == "hola") {
        EXPECT_EQ(field->selection(), (TextRange{0, 4}));
    }
    if (c.clipboardText) {
        EXPECT_EQ(desktop.pasteboard->string(), *c.clipboardText);
    } else {
        EXPECT_EQ(clipboard(), pasteboardBefore);
    }
    EXPECT_FALSE(returnTaken());
    EXPECT_EQ(escapeTaken(), c.phase == Phase::idle() && c.history &&
                                 c.history->kind == Entry::Outcome::Kind::inserted);
    if (c.hiddenAfter) {
        desktop.scheduler->advance(*c.hiddenAfter - 0.01);
        EXPECT_EQ(overlayState(), c.overlay);
        desktop.scheduler->advance(0.01);
        EXPECT_EQ(overlayState(), OverlayState::hidden());
    }
}

void nothing(DictationTest&, FakeTextField&) {}

const std::string kCopiedElsewhere = "Cambiaste de app: copiado al portapapeles";
const std::string kCopiedNoPermission = "Sin Accesibilidad: copiado al portapapeles";
const std::string kNotCopied = "No se pudo copiar al portapapeles";

INSTANTIATE_TEST_SUITE_P(
    Endings, DictationEndingTest,
    ::testing::Values(
        Ending{"TooShort", nothing, 0.49, -20, Phase::idle(), OverlayState::hidden(), std::nullopt,
               "Grabación de 0.49 s, demasiado corta: descartada", false, false, std::nullopt, "hola", std::nullopt},
        Ending{"NoVoice", nothing, 1, -50, Phase::idle(), OverlayState::done("Sin voz"), 1.5,
               "Grabación sin voz (pico -50 dBFS): descartada", false, false, std::nullopt, "hola", std::nullopt},
        Ending{"JustUnderTheGate", nothing, 1, -46, Phase::idle(), OverlayState::done("Sin voz"), 1.5,
               "Grabación sin voz (pico -46 dBFS): descartada", false, false, std::nullopt, "hola", std::nullopt},
        Ending{"HallucinatedTranscript",
               [](DictationTest& t, FakeTextField&) {
                   t.transcriber = std::make_shared<Parlox::FakeTranscriber>();
                   t.transcriber->answer("¡Gracias!");
                   t.makeController();
               },
               2, -20, Phase::idle(), OverlayState::done("Sin voz"), 2.5,
               "Whisper no oyó nada útil: no se llama a Codex", true, false, std::nullopt, "hola", std::nullopt},
        Ending{"TranscriptionError",
               [](DictationTest& t, FakeTextField&) {
                   t.transcriber = std::make_shared<Parlox::FakeTranscriber>();
                   t.transcriber->fail(std::make_exception_ptr(std::runtime_error("motor roto")));
                   t.makeController();
               },
               2, -20, Phase::failed("Error al transcribir"), OverlayState::error("Error al transcribir", false), 8,
               "Transcripción fallida: motor roto", true, false, std::nullopt, "hola", std::nullopt},
        Ending{"WriterError",
               [](DictationTest& t, FakeTextField&) {
                   t.writer->answers.clear();
                   t.writer->fail(CodexError::quotaExceeded());
               },
               2, -20, Phase::failed("Sin cuota"), OverlayState::error("Sin cuota", true), 8,
               "Codex: Se ha agotado el uso de Codex del plan de ChatGPT por ahora.", true, true,
               Entry::Outcome::failed("Se ha agotado el uso de Codex del plan de ChatGPT por ahora."), "hola",
               std::nullopt},
        Ending{"SecureField",
               [](DictationTest&, FakeTextField& field) {
                   field.setRole(std::string(platform::accessibility::roles::passwordText));
               },
               2, -20, Phase::failed("Campo protegido"), OverlayState::error("Campo protegido", false), 8,
               "Campo de contraseña: no se graba", false, false, std::nullopt, "hola", std::nullopt},
        Ending{"NoApplicationInFront",
               [](DictationTest& t, FakeTextField&) { t.desktop.workspace->setFrontmost(std::nullopt); },
               2, -20, Phase::idle(), OverlayState::done("Copiado"), 2.5, kCopiedElsewhere.c_str(), true, true,
               Entry::Outcome::copied(kCopiedElsewhere), "hola", "Buenos días"},
        Ending{"NoAccessibilityPermission",
               [](DictationTest& t, FakeTextField&) { t.desktop.accessibility->trusted = false; },
               2, -20, Phase::idle(), OverlayState::done("Copiado"), 2.5, kCopiedNoPermission.c_str(), true, true,
               Entry::Outcome::copied(kCopiedNoPermission), "hola", "Buenos días"},
        Ending{"SwitchedApplicationBeforeInsertion",
               [](DictationTest& t, FakeTextField&) {
                   t.desktop.workspace->addApplication({77, "Otra", "org.example.Otra", false});
                   t.writer->whileRunning = [&t](std::stop_token) { t.desktop.workspace->setFrontmost(77); };
               },
               2, -20, Phase::idle(), OverlayState::done("Copiado"), 2.5, kCopiedElsewhere.c_str(), true, true,
               Entry::Outcome::copied(kCopiedElsewhere), "hola", "Buenos días"},
        Ending{"CaretMovedBeforeInsertion",
               [](DictationTest& t, FakeTextField& field) {
                   t.writer->whileRunning = [&field](std::stop_token) { field.setSelectedTextRange({4, 0}); };
               },
               2, -20, Phase::idle(), OverlayState::hidden(), std::nullopt, "Insertado y seleccionado", true, true,
               Entry::Outcome::inserted(true), "holaBuenos días", std::nullopt},
        // The clipboard takes nothing: the answer is neither pasted nor
        // copied, the user is told, and the user's own contents stay.
        Ending{"ClipboardRefusesTheAnswer",
               [](DictationTest& t, FakeTextField&) { t.desktop.pasteboard->failWrites(true); }, 2, -20,
               Phase::failed(kNotCopied), OverlayState::error(kNotCopied, false), 8, kNotCopied.c_str(), true, true,
               Entry::Outcome::failed(kNotCopied), "hola", std::nullopt},
        Ending{"ClipboardRefusesTheAnswerForAnotherApplication",
               [](DictationTest& t, FakeTextField&) {
                   t.desktop.pasteboard->failWrites(true);
                   t.desktop.workspace->setFrontmost(std::nullopt);
               },
               2, -20, Phase::failed(kNotCopied), OverlayState::error(kNotCopied, false), 8, kNotCopied.c_str(), true,
               true, Entry::Outcome::failed(kNotCopied), "hola", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DictationTest, AnAnswerThatCouldNotBeCopiedStaysInTheHistory) {
    desktop.focusField(42, "Editor", "hola", {0, 4});
    desktop.pasteboard->failWrites(true);
    dictate("hazlo formal", "Buenos días");
    ASSERT_EQ(controller->history().size(), 1u);
    EXPECT_EQ(controller->history().front().result, "Buenos días");
    EXPECT_EQ(controller->history().front().outcome, Entry::Outcome::failed(kNotCopied));
    const auto played = sounds->played();
    EXPECT_EQ(std::count(played.begin(), played.end(), "Funk"), 1);
}

TEST_F(DictationTest, AWriterErrorKeepsTheTranscriptForRetry) {
    auto field = desktop.focusField(42, "Editor", "hola", {0, 4});
    transcriber->answer("hazlo formal");
    writer->fail(CodexError::notInstalled("el PATH"));
    toggle();
    speak(2);
    toggle();
    ASSERT_EQ(controller->phase(), Phase::failed("Sin Codex"));
    EXPECT_TRUE(controller->canRetry());
    EXPECT_EQ(sounds->played().back(), "Funk");

    writer->answer("Buenos días");
    overlay->model().onRetry()();
    desktop.scheduler->settle();
    EXPECT_TRUE(log.contains("Reintento"));
    EXPECT_EQ(field->text(), "Buenos días");
    EXPECT_EQ(transcriber->calls().size(), 1u);  // the audio is not transcribed again
    ASSERT_EQ(controller->history().size(), 2u);
    EXPECT_EQ(controller->history()[0].outcome, Entry::Outcome::inserted(true));
    EXPECT_EQ(controller->history()[1].outcome.kind, Entry::Outcome::Kind::failed);
    EXPECT_FALSE(controller->canRetry());
}

TEST_F(DictationTest, ShortMessagesOfTheWritingTools) {
    using ClaudeError = ParloxCore::ClaudeCodeProvider::ClaudeError;
    struct Case {
        std::function<std::string()> message;
        const char* expected;
    };
    const std::vector<Case> cases{
        {[] { return DictationController::shortMessage(ClaudeError::notInstalled("x")); }, "Sin Claude"},
        {[] { return DictationController::shortMessage(CodexError::notInstalled("x")); }, "Sin Codex"},
        {[] { return DictationController::shortMessage(ClaudeError::timedOut(45)); }, "Sin respuesta"},
        {[] { return DictationController::shortMessage(CodexError::timedOut(45)); }, "Sin respuesta"},
        {[] { return DictationController::shortMessage(ClaudeError::failed("x")); }, "Claude falló"},
        {[] { return DictationController::shortMessage(CodexError::failed("x")); }, "Codex falló"},
        {[] { return DictationController::shortMessage(ClaudeError::notLoggedIn()); }, "Sin sesión"},
        {[] { return DictationController::shortMessage(CodexError::quotaExceeded()); }, "Sin cuota"},
        {[] { return DictationController::shortMessage(CodexError::emptyResponse()); }, "Respuesta vacía"},
        {[] { return DictationController::shortMessage(std::runtime_error("otro")); }, "Error"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.message(), c.expected);
}

TEST_F(DictationTest, AModelNotReadyRefusesTheDictation) {
    transcriber = std::make_shared<Parlox::FakeTranscriber>();
    transcriber->statesOnPrepare = {Parlox::Transcriber::State::downloading(0.5)};
    makeController();
    desktop.focusField(42, "Editor", "hola", {0, 4});
    toggle();
    EXPECT_EQ(controller->phase(), Phase::failed("Cargando modelo"));
    EXPECT_TRUE(log.contains("Atajo con el modelo sin cargar: " +
                             Parlox::ModelStatus::text(Parlox::Transcriber::State::downloading(0.5))));
    EXPECT_TRUE(audio->engines().empty());
    EXPECT_FALSE(controller->canRetry());

    transcriber->announce(Parlox::Transcriber::State::ready());
    desktop.scheduler->settle();
    EXPECT_EQ(controller->model(), Parlox::Transcriber::State::ready());
    toggle();  // after a failure the hot key starts a new dictation
    EXPECT_EQ(controller->phase(), Phase::recording());
}

TEST_F(DictationTest, TheHotKeyTriesAFailedModelAgainAndSaysSo) {
    using State = Parlox::Transcriber::State;
    transcriber = std::make_shared<Parlox::FakeTranscriber>();
    transcriber->statesOnPrepare = {State::downloading(0), State::failed("sin red")};
    makeController();
    ASSERT_EQ(controller->model(), State::failed("sin red"));
    desktop.focusField(42, "Editor", "hola", {0, 4});

    // Still offline: each hot key tries once more.
    toggle();
    EXPECT_EQ(transcriber->prepares(), 2);
    EXPECT_EQ(controller->phase(), Phase::failed("Reintentando modelo"));
    EXPECT_EQ(overlayState(), OverlayState::error("Reintentando modelo", false));
    EXPECT_TRUE(log.contains("Atajo con el modelo sin cargar: Error del modelo: sin red"));
    EXPECT_TRUE(log.contains("Se vuelve a preparar el modelo"));
    EXPECT_TRUE(audio->engines().empty());

    // Back online: the next try comes through, and a hot key during it waits for it.
    transcriber->statesOnPrepare = {State::downloading(0)};
    toggle();
    EXPECT_EQ(transcriber->prepares(), 3);
    EXPECT_EQ(controller->model(), State::downloading(0));
    toggle();
    EXPECT_EQ(transcriber->prepares(), 3);
    EXPECT_EQ(controller->phase(), Phase::failed("Cargando modelo"));
    transcriber->announce(State::ready());
    desktop.scheduler->settle();
    toggle();
    EXPECT_EQ(controller->phase(), Phase::recording());
    EXPECT_EQ(transcriber->prepares(), 3);
}

TEST_F(DictationTest, AMicrophoneThatWillNotStartFailsTheDictation) {
    desktop.focusField(42, "Editor", "hola", {0, 4});
    audio->failStart = true;
    toggle();
    EXPECT_EQ(controller->phase(), Phase::failed("Sin micrófono"));
    EXPECT_TRUE(log.containsPrefix("No se pudo grabar: "));
    EXPECT_EQ(overlay->anchor, (platform::Rect{200, 300, 40, 18}));  // next to the selection
    EXPECT_EQ(overlayState(), OverlayState::error("Sin micrófono", false));

    audio->failStart = false;
    audio->permissionStatus = platform::audio::RecordPermission::denied;
    toggle();
    EXPECT_EQ(controller->phase(), Phase::failed("Sin micrófono"));
    EXPECT_TRUE(log.contains("No se pudo grabar: Parlox no tiene permiso para usar el micrófono."));
}

// The insertion looks at the accessibility once more, well after the capture
// read the field through it. A desktop too busy to answer that look in time
// says nothing is missing: the answer is pasted where the capture found the
// field. Only an answer that a piece is missing leaves it on the clipboard.
struct TrustAtTheInsertion {
    const char* name;
    platform::accessibility::TrustGap gap;
    bool pasted;
};

void PrintTo(const TrustAtTheInsertion& c, std::ostream* os) { *os << c.name; }

class TrustAtTheInsertionTest : public DictationTest, public ::testing::WithParamInterface<TrustAtTheInsertion> {};

TEST_P(TrustAtTheInsertionTest, OnlyAnAnswerThatAccessibilityIsMissingCopiesTheAnswer) {
    const TrustAtTheInsertion& c = GetParam();
    auto field = desktop.focusField(42, "Editor", "hola", {0, 4});
    writer->whileRunning = [this, gap = c.gap](std::stop_token) {
        desktop.accessibility->trusted = false;
        desktop.accessibility->untrustedBecause = gap;
    };
    dictate("hazlo formal", "Buenos días");

    EXPECT_TRUE(log.containsPrefix("Contexto: Editor · método Accesibilidad · selección 4 caracteres"));
    ASSERT_EQ(controller->history().size(), 1u);
    const auto lines = log.lines();
    const bool toldMissing = std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
        return line.find("Sin Accesibilidad") != std::string::npos;
    });
    if (c.pasted) {
        EXPECT_EQ(field->text(), "Buenos días");
        EXPECT_EQ(field->selection(), (TextRange{0, 11}));
        EXPECT_EQ(controller->history().front().outcome, Entry::Outcome::inserted(true));
        EXPECT_EQ(clipboard(), pasteboardBefore);
        EXPECT_FALSE(toldMissing);
    } else {
        EXPECT_EQ(field->text(), "hola");
        EXPECT_EQ(controller->history().front().outcome, Entry::Outcome::copied(kCopiedNoPermission));
        EXPECT_EQ(desktop.pasteboard->string(), "Buenos días");
        EXPECT_TRUE(log.contains(kCopiedNoPermission));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Looks, TrustAtTheInsertionTest,
    ::testing::Values(TrustAtTheInsertion{"NoAnswerInTime", platform::accessibility::TrustGap::noAnswer, true},
                      TrustAtTheInsertion{"AssistiveTechnologiesOff",
                                          platform::accessibility::TrustGap::assistiveTechnologiesOff, false},
                      TrustAtTheInsertion{"NoAccessibilityBus", platform::accessibility::TrustGap::noAccessibilityBus,
                                          false},
                      TrustAtTheInsertion{"NoSyntheticKeys", platform::accessibility::TrustGap::noSyntheticKeys,
                                          false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace dictation_test
