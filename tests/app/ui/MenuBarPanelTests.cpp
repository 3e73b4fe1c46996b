#include <gtest/gtest.h>

#include "app/Overlay/MenuBarExtra.hpp"
#include "app/Overlay/MenuBarLabel.hpp"
#include "app/Debug/Snapshot.hpp"
#include "app/Overlay/MenuBarPanel.hpp"
#include "app/Overlay/PanelWidgets.hpp"

#include <QCursor>
#include <QEnterEvent>
#include <QGuiApplication>
#include <QScreen>
#include "app/Transcription/ModelStatus.hpp"
#include "platform/accessibility/fake/FakeAccessibility.hpp"
#include "platform/audio/fake/FakeAudioSystem.hpp"
#include "platform/concurrency/fake/ManualScheduler.hpp"
#include "platform/desktop/fake/FakeNotifier.hpp"
#include "platform/desktop/fake/FakePowerAssertion.hpp"
#include "platform/desktop/fake/FakeUpdateService.hpp"
#include "platform/foundation/fake/InMemoryUserDefaults.hpp"
#include "platform/input/fake/FakeKeySynth.hpp"
#include "app/System/KeepAwake.hpp"
#include "tests/app/ui/MenuBarTestSupport.hpp"
#include "tests/app/ui/QtTestSupport.hpp"

namespace Parlox {
namespace {

using Phase = DictationController::Phase;
using Model = Transcriber::State;
using ui_test::buttonNamed;
using ui_test::shownTexts;

const std::vector<std::string> footer = {"Ajustes\u2026", "Salir de Parlox"};

std::vector<std::string> plus(std::vector<std::string> head, const std::vector<std::string>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

ParloxCore::DictationSession sessionWith(int rounds, bool undone = false) {
    ParloxCore::DictationSession session(platform::UUID(), platform::now(), "Editor", 42, "hola mundo");
    for (int i = 0; i < rounds; ++i) session.add("instrucción", "resultado " + std::to_string(i), platform::now());
    session.isUndone = undone;
    return session;
}

class MenuBarPanelTest : public ::testing::Test {
protected:
    MenuBarPanelTest() {
        ui_test::application();
        previous = platform::UserDefaults::setStandard(std::make_shared<platform::InMemoryUserDefaults>());
        FakePermissions::reload();
    }
    ~MenuBarPanelTest() override { platform::UserDefaults::setStandard(previous); }

    std::unique_ptr<MenuBarPanel> makePanel(Updater* updater = nullptr) {
        MenuBarPanel::Sources sources{&dictation, &keepAwake, updater, audio, accessibility, {}};
        MenuBarPanel::Actions actions{
            [this] { calls.push_back("openSettings"); },
            [this] { calls.push_back("close"); },
            [this] { calls.push_back("quit"); },
            [this] { calls.push_back("activate"); },
        };
        return std::make_unique<MenuBarPanel>(sources, actions, Theme::light(), false);
    }

    std::shared_ptr<platform::UserDefaults> previous;
    ui_test::FakeDictation dictation;
    ui_test::FakeKeepAwake keepAwake;
    std::shared_ptr<platform::audio::FakeAudioSystem> audio = std::make_shared<platform::audio::FakeAudioSystem>();
    std::shared_ptr<platform::accessibility::FakeAccessibility> accessibility =
        std::make_shared<platform::accessibility::FakeAccessibility>();
    std::vector<std::string> calls;
};

struct StatusCase {
    const char* name;
    Phase phase;
    Model model;
    bool retry;
    std::vector<std::string> status;  // texts before the footer
};

TEST_F(MenuBarPanelTest, StatusRowsAndButtonsFollowThePhaseAndTheModel) {
    dictation.seconds = 3725;
    const StatusCase cases[] = {
        {"at rest", Phase::idle(), Model::ready(), false, {}},
        {"downloading", Phase::idle(), Model::downloading(0.5), false,
         {"Preparando la voz", ModelStatus::text(Model::downloading(0.5))}},
        {"loading", Phase::idle(), Model::loading(), false, {"Preparando la voz", ModelStatus::text(Model::loading())}},
        {"model failed", Phase::idle(), Model::failed("sin red"), false, {"La voz no se ha podido cargar", "sin red"}},
        {"capturing", Phase::capturing(), Model::ready(), false, {"Grabando", "62:05", "Terminar", "Cancelar"}},
        {"recording", Phase::recording(), Model::ready(), false, {"Grabando", "62:05", "Terminar", "Cancelar"}},
        {"paused", Phase::paused(), Model::ready(), false,
         {"En pausa", "62:05", "Terminar", "Reanudar", "Cancelar"}},
        {"transcribing", Phase::transcribing(), Model::ready(), false, {"Redactando\u2026", "Cancelar"}},
        {"writing", Phase::writing(), Model::ready(), true, {"Redactando\u2026", "Cancelar"}},
        {"failed with retry", Phase::failed("Sin respuesta"), Model::ready(), true,
         {"Sin respuesta", "Lo que dictaste no se ha perdido.", "Reintentar"}},
        {"failed without retry", Phase::failed("Sin voz"), Model::ready(), false,
         {"Sin voz", "Lo que dictaste no se ha perdido."}},
    };
    auto panel = makePanel();
    for (const StatusCase& c : cases) {
        dictation.phaseValue = c.phase;
        dictation.modelValue = c.model;
        dictation.retryable = c.retry;
        dictation.update();
        EXPECT_EQ(shownTexts(*panel), plus(c.status, footer)) << c.name;
    }
}

TEST_F(MenuBarPanelTest, RestoreRowsPermissionWarningKeepAwakeAndUpdate) {
    auto panel = makePanel();
    const std::pair<std::optional<ParloxCore::DictationSession>, std::vector<std::string>> sessions[] = {
        {std::nullopt, {}},
        {sessionWith(0), {}},
        {sessionWith(1), {"Recuperar original"}},
        {sessionWith(2), {"Recuperar original", "Versi\u00F3n anterior"}},
        {sessionWith(2, true), {}},
    };
    for (const auto& [session, rows] : sessions) {
        dictation.session = session;
        dictation.update();
        EXPECT_EQ(shownTexts(*panel), plus(rows, footer)) << rows.size();
    }

    dictation.session.reset();
    audio->permissionStatus = platform::audio::RecordPermission::undetermined;
    panel->refresh();
    EXPECT_EQ(shownTexts(*panel), plus({"Falta el micr\u00F3fono: Parlox no puede o\u00EDrte.", "Abrir Ajustes de Parlox"}, footer));
    audio->permissionStatus = platform::audio::RecordPermission::granted;
    panel->refresh();

    keepAwake.unlocked = true;
    keepAwake.changedSignal.emit();
    EXPECT_EQ(shownTexts(*panel), plus({"Despierto", "Despierto"}, footer));
    auto* toggle = buttonNamed(*panel, "Despierto");
    ASSERT_NE(toggle, nullptr);
    EXPECT_FALSE(toggle->isChecked());
    toggle->click();
    EXPECT_TRUE(keepAwake.on);
    EXPECT_TRUE(buttonNamed(*panel, "Despierto")->isChecked());
    EXPECT_TRUE(calls.empty());  // the switch leaves the window open

    platform::UserDefaults::standard().set("previewUpdate", "2.3");
    Updater updater(std::make_shared<platform::desktop::FakeUpdateService>(),
                    std::make_shared<platform::desktop::FakeNotifier>());
    keepAwake.unlocked = false;
    auto withUpdate = makePanel(&updater);
    EXPECT_EQ(shownTexts(*withUpdate), plus({"Actualizar a la 2.3\u2026"}, footer));
}

// The switch shows whether keep-awake is on, also when switching it on failed.
TEST_F(MenuBarPanelTest, TheKeepAwakeSwitchShowsWhatIsTrue) {
    auto power = std::make_shared<platform::desktop::FakePowerAssertion>();
    KeepAwake real(power, std::make_shared<platform::input::FakeKeySynth>(),
                   std::make_shared<platform::ManualScheduler>());
    real.setUnlocked(true);
    MenuBarPanel panel({&dictation, &real, nullptr, audio, accessibility, {}},
                       {[] {}, [] {}, [] {}, [] {}}, Theme::light(), false);
    shownTexts(panel);
    for (const bool refused : {true, false}) {
        power->refuse = refused;
        QAbstractButton* toggle = buttonNamed(panel, "Despierto");
        ASSERT_NE(toggle, nullptr);
        toggle->click();
        QCoreApplication::processEvents();
        toggle = buttonNamed(panel, "Despierto");
        ASSERT_NE(toggle, nullptr);
        EXPECT_EQ(real.isOn(), !refused);
        EXPECT_EQ(toggle->isChecked(), real.isOn()) << (refused ? "refused" : "held");
    }
}

TEST(MenuBarPermissions, ProblemTextPerPair) {
    using P = PermissionState;
    const std::tuple<P, P, std::optional<std::string>> cases[] = {
        {P::granted, P::granted, std::nullopt},
        {P::notAsked, P::granted, "Falta el micr\u00F3fono: Parlox no puede o\u00EDrte."},
        {P::denied, P::granted, "Falta el micr\u00F3fono: Parlox no puede o\u00EDrte."},
        {P::granted, P::denied, "Falta la Accesibilidad: Parlox no puede pegar."},
        {P::granted, P::notAsked, "Falta la Accesibilidad: Parlox no puede pegar."},
        // Before the desktop's first answer nothing is said missing.
        {P::granted, P::unknown, std::nullopt},
        {P::denied, P::unknown, "Falta el micr\u00F3fono: Parlox no puede o\u00EDrte."},
        {P::denied, P::notAsked, "Faltan el micr\u00F3fono y la Accesibilidad."},
    };
    for (const auto& [mic, ax, text] : cases) EXPECT_EQ(MenuBarPanel::permissionProblem(mic, ax), text);
}

struct ClickCase {
    const char* name;
    Phase phase;
    bool retry;
    int rounds;
    std::string button;
    std::vector<std::string> panelCalls;  // close, openSettings, quit, activate
    std::vector<std::string> dictationCalls;
};

TEST_F(MenuBarPanelTest, ClicksReachTheControllerAfterClosingTheWindow) {
    ParloxCore::DictationSession session = sessionWith(2);
    const std::string id = session.id.uuidString();
    const ClickCase cases[] = {
        {"finish", Phase::recording(), false, 0, "Terminar", {"close"}, {"finishRecording"}},
        {"finish paused", Phase::paused(), false, 0, "Terminar", {"close"}, {"finishRecording"}},
        {"finish while capturing", Phase::capturing(), false, 0, "Terminar", {"close"}, {}},
        {"resume keeps the window", Phase::paused(), false, 0, "Reanudar", {}, {"resume"}},
        {"cancel", Phase::recording(), false, 0, "Cancelar", {"close"}, {"cancel"}},
        {"cancel writing", Phase::writing(), false, 0, "Cancelar", {"close"}, {"cancel"}},
        {"retry", Phase::failed("Sin respuesta"), true, 0, "Reintentar", {"close"}, {"retry"}},
        {"undo", Phase::idle(), false, 2, "Recuperar original", {"close"}, {"undo " + id}},
        {"previous", Phase::idle(), false, 2, "Versi\u00F3n anterior", {"close"}, {"revertToPrevious " + id}},
        {"settings", Phase::idle(), false, 0, "Ajustes\u2026", {"close", "openSettings"}, {}},
        {"quit", Phase::idle(), false, 0, "Salir de Parlox", {"quit"}, {}},
    };
    auto panel = makePanel();
    for (const ClickCase& c : cases) {
        calls.clear();
        dictation.calls.clear();
        dictation.phaseValue = c.phase;
        dictation.retryable = c.retry;
        dictation.session = c.rounds ? std::optional(session) : std::nullopt;
        dictation.update();
        QAbstractButton* button = buttonNamed(*panel, c.button);
        ASSERT_NE(button, nullptr) << c.name;
        button->click();
        EXPECT_EQ(calls, c.panelCalls) << c.name;
        EXPECT_EQ(dictation.calls, c.dictationCalls) << c.name;
    }
}

TEST_F(MenuBarPanelTest, PermissionAndUpdateButtons) {
    accessibility->trusted = false;
    auto panel = makePanel();
    EXPECT_EQ(shownTexts(*panel)[0], "Falta la Accesibilidad: Parlox no puede pegar.");
    buttonNamed(*panel, "Abrir Ajustes de Parlox")->click();
    EXPECT_EQ(calls, (std::vector<std::string>{"close", "openSettings"}));

    calls.clear();
    auto service = std::make_shared<platform::desktop::FakeUpdateService>();
    Updater updater(service, std::make_shared<platform::desktop::FakeNotifier>());
    service->delegate->willHandleShowingUpdate(true, {"2.4"}, false);
    auto withUpdate = makePanel(&updater);
    buttonNamed(*withUpdate, "Actualizar a la 2.4\u2026")->click();
    EXPECT_EQ(calls, (std::vector<std::string>{"close", "activate"}));
    EXPECT_EQ(service->checks, 1);
}

// The panel is made at each opening and reads the accessibility every
// 1.5 s: a look the desktop is too busy to answer in time shows what it
// last answered, in the open panel and in the next one.
TEST_F(MenuBarPanelTest, ALookLeftUnansweredShowsTheLastAnswer) {
    using platform::accessibility::TrustGap;
    const auto warns = [](MenuBarPanel& panel) {
        const auto texts = shownTexts(panel);
        return std::find(texts.begin(), texts.end(), "Falta la Accesibilidad: Parlox no puede pegar.") != texts.end();
    };
    auto panel = makePanel();
    EXPECT_FALSE(warns(*panel));
    accessibility->trusted = false;
    accessibility->untrustedBecause = TrustGap::noAnswer;
    panel->refresh();
    EXPECT_FALSE(warns(*panel));
    EXPECT_FALSE(warns(*makePanel()));

    accessibility->untrustedBecause = TrustGap::assistiveTechnologiesOff;
    panel->refresh();
    EXPECT_TRUE(warns(*panel));
    accessibility->untrustedBecause = TrustGap::noAnswer;
    panel->refresh();
    EXPECT_TRUE(warns(*panel));
    EXPECT_TRUE(warns(*makePanel()));
}

TEST_F(MenuBarPanelTest, TheOpenPanelHasItsWidthAndKeepsTheEdgeNextToTheTray) {
    // Without an icon geometry the panel opens at the pointer: below it in
    // the upper half of the screen (a top bar), above it in the lower half.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    for (const bool topBar : {true, false}) {
        dictation.phaseValue = Phase::idle();
        dictation.update();
        QCursor::setPos(screen.center().x(), topBar ? screen.top() + 5 : screen.bottom() - 5);
        MenuBarExtra extra([this] { return makePanel().release(); });
        extra.openPanel();
        QCoreApplication::processEvents();
        QWidget* window = extra.panelWindow();
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(window->isVisible());
        EXPECT_EQ(window->width(), MenuBarPanel::width);
        const QRect before = window->geometry();

        // A row that comes while the panel is open: the edge next to the tray stays.
        dictation.phaseValue = Phase::paused();
        dictation.update();
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
        const QRect after = window->geometry();
        EXPECT_EQ(after.width(), MenuBarPanel::width);
        EXPECT_GT(after.height(), before.height());
        if (topBar) {
            EXPECT_EQ(after.top(), before.top());
        } else {
            EXPECT_EQ(after.bottom(), before.bottom());
        }
        extra.closePanel();
    }
}

struct LabelCase {
    Phase phase;
    Model model;
    std::optional<MenuBarLabel::Badge> badge;
};

TEST(MenuBarLabel, BadgePerPhaseAndModelAndTheSleepyMoon) {
    using Tint = MenuBarLabel::Tint;
    const LabelCase cases[] = {
        {Phase::capturing(), Model::loading(), MenuBarLabel::Badge{"circle.fill", Tint::red}},
        {Phase::recording(), Model::ready(), MenuBarLabel::Badge{"circle.fill", Tint::red}},
        {Phase::paused(), Model::ready(), MenuBarLabel::Badge{"circle", Tint::none}},
        {Phase::transcribing(), Model::ready(), MenuBarLabel::Badge{"circle.dotted", Tint::none}},
        {Phase::writing(), Model::ready(), MenuBarLabel::Badge{"circle.dotted", Tint::none}},
        {Phase::failed("x"), Model::ready(), MenuBarLabel::Badge{"circle.fill", Tint::orange}},
        {Phase::idle(), Model::ready(), std::nullopt},
        {Phase::idle(), Model::idle(), MenuBarLabel::Badge{"circle.dotted", Tint::none}},
        {Phase::idle(), Model::downloading(0.3), MenuBarLabel::Badge{"circle.dotted", Tint::none}},
        {Phase::idle(), Model::failed("m"), MenuBarLabel::Badge{"circle.dotted", Tint::none}},
    };
    for (const LabelCase& c : cases) EXPECT_EQ(MenuBarLabel::look(c.phase, c.model, false, false).badge, c.badge);

    const std::tuple<bool, bool, bool> moons[] = {
        {false, false, false}, {false, true, false}, {true, true, false}, {true, false, true}};
    for (const auto& [unlocked, on, sleepy] : moons) {
        const auto look = MenuBarLabel::look(Phase::idle(), Model::ready(), unlocked, on);
        EXPECT_EQ(look.sleepy, sleepy);
        EXPECT_EQ(MenuBarLabel::description(look),
                  sleepy ? "Parlox, el ordenador puede dormirse" : "Parlox");
    }
}

TEST(MenuBarLabel, IconShowsTheLinesTheMoonAndATintedBadge) {
    ui_test::application();
    const Theme theme = Theme::light();
    const QImage plain = MenuBarLabel::image({false, std::nullopt}, Qt::black, theme, 2);
    const QImage busy = MenuBarLabel::image({true, MenuBarLabel::Badge{"circle.fill", MenuBarLabel::Tint::red}},
                                           Qt::black, theme, 2);
    ASSERT_EQ(plain.size(), busy.size());
    // The lines are drawn in the ink; only the second has a moon and a red badge.
    EXPECT_GT(ui_test::pixelAt(plain, 3, 12).alpha(), 200);
    auto inked = [](const QImage& image, double x0, double x1) {
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = int(x0 * 2); x < int(x1 * 2); ++x) count += image.pixelColor(x, y).alpha() > 128;
        return count;
    };
    EXPECT_EQ(inked(plain, 15.5, 23), 0);
    EXPECT_GT(inked(busy, 16, 23), 10);
    const QColor badge = ui_test::pixelAt(busy, 23 + 4 + 3, 16.5);
    EXPECT_COLOR_NEAR(badge, theme.red(), 10);
}

}  // namespace
}  // namespace Parlox

namespace Parlox {
namespace {

TEST(PanelButton, FaintBackgroundOnlyWhileHovered) {
    ui_test::application();
    for (const Theme theme : {Theme::light(), Theme::darkScheme()}) {
        PanelButton button("Ajustes\u2026", {}, theme);
        button.resize(320, button.sizeHint().height());
        const QColor background = theme.palette().color(QPalette::Window);
        const QColor expected[] = {background, ui_test::over(background, theme.ink(0.07))};
        for (const bool hovered : {false, true}) {
            if (hovered) {
                QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
                QApplication::sendEvent(&button, &enter);
            }
            const QImage image = Snapshot::render(button, 2, background);
            EXPECT_COLOR_NEAR(ui_test::pixelAt(image, 300, 3), expected[hovered], 1) << theme.dark;
        }
    }
}

}  // namespace
}  // namespace Parlox
