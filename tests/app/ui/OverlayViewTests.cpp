#include <QFontMetricsF>

#include <gtest/gtest.h>

#include "app/Debug/Snapshot.hpp"
#include "app/Overlay/Fonts.hpp"
#include "app/Overlay/GlassPill.hpp"
#include "app/Overlay/OverlayView.hpp"
#include "tests/app/ui/QtTestSupport.hpp"

namespace Parlox {
namespace {

using State = OverlayModel::State;
using Row = OverlayPresentation::Row;
using Action = OverlayPresentation::Action;
using Mode = VoiceGlow::Mode;

const char* const finishHelp = "Terminar y redactar (Intro o Alt+Espacio) \u00B7 Esc cancela";

struct PresentationCase {
    State state;
    Row row;
    Mode glow;
    std::string label;
    std::string key;
    std::optional<std::string> symbol;
    std::vector<std::tuple<std::string, std::string, Action>> buttons;  // symbol, help, action
};

TEST(OverlayPresentation, EachStateHasItsRowGlowLabelKeyAndButtons) {
    const PresentationCase cases[] = {
        {State::hidden(), Row::none, Mode::off, "", "hidden", std::nullopt, {}},
        {State::recording(), Row::recording, Mode::voice, "Grabando", "recording", std::nullopt,
         {{"mic", "Pausar", Action::pause}, {"checkmark", finishHelp, Action::stop}}},
        {State::paused(), Row::recording, Mode::off, "En pausa", "recording", std::nullopt,
         {{"mic.slash", "Reanudar", Action::resume}, {"checkmark", finishHelp, Action::stop}}},
        {State::working("Redactando\u2026"), Row::text, Mode::beam, "Redactando\u2026", "working", std::nullopt, {}},
        {State::done("Copiado"), Row::text, Mode::off, "Copiado", "done-Copiado", "checkmark.circle.fill", {}},
        {State::error("Sin respuesta", true), Row::error, Mode::off, "Sin respuesta", "error-Sin respuesta",
         "exclamationmark.triangle.fill", {{"arrow.clockwise", "Reintentar con lo que dictaste", Action::retry}}},
        {State::error("Sin sesi\u00F3n", false), Row::error, Mode::off, "Sin sesi\u00F3n", "error-Sin sesi\u00F3n",
         "exclamationmark.triangle.fill", {{"xmark", "Cerrar", Action::dismiss}}},
    };
    for (const PresentationCase& c : cases) {
        const OverlayPresentation p = OverlayPresentation::of(c.state);
        SCOPED_TRACE(c.key);
        EXPECT_EQ(p.row, c.row);
        EXPECT_EQ(p.glow, c.glow);
        EXPECT_EQ(p.accessibilityLabel, c.label);
        EXPECT_EQ(p.contentKey, c.key);
        EXPECT_EQ(p.symbol, c.symbol);
        ASSERT_EQ(p.buttons.size(), c.buttons.size());
        for (size_t i = 0; i < c.buttons.size(); ++i) {
            EXPECT_EQ(p.buttons[i].symbol, std::get<0>(c.buttons[i]));
            EXPECT_EQ(p.buttons[i].help, std::get<1>(c.buttons[i]));
            EXPECT_EQ(p.buttons[i].action, std::get<2>(c.buttons[i]));
        }
    }
    // Keys ignore what changes in place.
    EXPECT_EQ(OverlayPresentation::of(State::working("a")).contentKey,
              OverlayPresentation::of(State::working("b")).contentKey);
    EXPECT_EQ(OverlayPresentation::of(State::error("x", true)).contentKey,
              OverlayPresentation::of(State::error("x", false)).contentKey);
}

TEST(OverlayPresentation, ClockTruncatesAndNeverWrapsMinutes) {
    const std::pair<double, const char*> cases[] = {
        {0, "00:00"},     {65.9, "01:05"},     {-3, "00:00"},           {3725, "62:05"},
        {6000, "100:00"}, {59.999, "00:59"},   {std::nan(""), "00:00"},
    };
    for (const auto& [seconds, text] : cases) EXPECT_EQ(formatClock(seconds), text) << seconds;
}

struct Clocked {
    platform::Date time = platform::Date(std::chrono::seconds(1'800'000'000));
    OverlayModel model{[this] { return time; }};
    OverlayView::Now now() {
        return [this] { return time; };
    }
};

TEST(OverlayView, SnapshotIsThePaddedPillAndLiveIsAlwaysTheFullPanel) {
    ui_test::application();
    Clocked clocked;
    OverlayView snapshot(clocked.model, true, clocked.now());
    OverlayView live(clocked.model, false, clocked.now());
    const QFontMetricsF text(Fonts::system(13));
    const QFontMetricsF clock(Fonts::system(14));
    const std::pair<State, double> cases[] = {
        {State::recording(), 7 + 30 + 14 + clock.horizontalAdvance("00:00") + 14 + 30 + 7},
        {State::working("Redactando\u2026"), 20 + text.horizontalAdvance("Redactando\u2026") + 20},
        {State::done("Copiado"), 16 + 13 + 6 + text.horizontalAdvance("Copiado") + 16},
        {State::error("Sin respuesta", true), 14 + 13 + 6 + text.horizontalAdvance("Sin respuesta") + 10 + 30 + 7},
    };
    clocked.model.startClock();
    for (const auto& [state, pillWidth] : cases) {
        clocked.model.setState(state);
        EXPECT_NEAR(snapshot.pillRect().width(), pillWidth, 1e-6);
        EXPECT_EQ(snapshot.size(), QSize(int(std::ceil(pillWidth + 36)), 80));
        EXPECT_EQ(live.size(), QSize(376, 80));
        EXPECT_EQ(snapshot.accessibleName().toStdString(), OverlayPresentation::of(state).accessibilityLabel);
    }
}

TEST(OverlayView, HiddenLivePanelIsEmptyAndTransparent) {
    ui_test::application();
    Clocked clocked;
    OverlayView live(clocked.model, false, clocked.now());
    const QImage image = Snapshot::render(live, 1);
    ASSERT_EQ(image.size(), QSize(376, 80));
    for (int y = 0; y < image.height(); y += 5)
        for (int x = 0; x < image.width(); x += 5) ASSERT_EQ(image.pixelColor(x, y).alpha(), 0) << x << "," << y;
}

TEST(OverlayView, WithoutAnimationThePillIsWholeAtOnceAndUntilItsWindowGoes) {
    ui_test::application();
    const QColor fill = ui_test::over(Qt::white, GlassPill::fill(Theme::light()));
    // The pill's middle, away from the glyphs: between the clock and the disc.
    auto middle = [](const OverlayView& view) {
        const OverlayView::RowLayout row = view.layoutRow(view.presentation());
        return QPointF(OverlayView::padding + row.clock.right() + 7, OverlayView::padding + 5);
    };
    for (const bool animated : {true, false}) {
        Clocked clocked;
        OverlayView live(clocked.model, false, clocked.now());
        live.setTheme(Theme::light());
        live.setAnimated(animated);
        clocked.model.startClock();
        clocked.model.setState(State::recording());
        const QPointF probe = middle(live);
        // Animated, the pill has only begun to come in; still, it is there whole.
        const QColor shown = ui_test::pixelAt(Snapshot::render(live, 1, Qt::white), probe.x(), probe.y());
        EXPECT_EQ(ui_test::near(shown, fill, 3), !animated) << animated;
        if (animated) continue;
        clocked.model.setState(State::hidden());
        EXPECT_COLOR_NEAR(ui_test::pixelAt(Snapshot::render(live, 1, Qt::white), probe.x(), probe.y()), fill, 3);
    }
}

TEST(OverlayView, ClockCountsOnlyRecordedTime) {
    ui_test::application();
    Clocked clocked;
    OverlayView view(clocked.model, true, clocked.now());
    clocked.model.startClock();
    clocked.model.setState(State::recording());
    clocked.time += std::chrono::milliseconds(65'900);
    EXPECT_EQ(view.clockText(), "01:05");
    clocked.model.pauseClock();
    clocked.model.setState(State::paused());
    clocked.time += std::chrono::seconds(30);
    EXPECT_EQ(view.clockText(), "01:05");
}

TEST(OverlayView, ControlsCallTheModelsCurrentActions) {
    ui_test::application();
    Clocked clocked;
    OverlayView view(clocked.model, true, clocked.now());
    std::vector<std::string> calls;
    clocked.model.setOnStop([&] { calls.push_back("stop"); });
    clocked.model.setOnPause([&] { calls.push_back("pause"); });
    clocked.model.setOnResume([&] { calls.push_back("resume"); });
    clocked.model.setOnRetry([&] { calls.push_back("retry"); });
    clocked.model.setOnDismiss([&] { calls.push_back("dismiss"); });
    clocked.model.setOnCancel([&] { calls.push_back("cancel"); });

    auto button = [&](const char* help) -> RoundButton* {
        for (RoundButton* b : view.findChildren<RoundButton*>())
            if (b->isVisibleTo(&view) && b->help() == QString::fromUtf8(help)) return b;
        return nullptr;
    };
    struct Step {
        State state;
        const char* help;
        const char* call;
        const char* absent;  // a help text that must not be offered
    };
    const Step steps[] = {
        {State::recording(), "Pausar", "pause", "Reanudar"},
        {State::recording(), finishHelp, "stop", "Cerrar"},
        {State::paused(), "Reanudar", "resume", "Pausar"},
        {State::paused(), finishHelp, "stop", "Reintentar con lo que dictaste"},
        {State::error("Sin respuesta", true), "Reintentar con lo que dictaste", "retry", "Cerrar"},
        {State::error("Sin respuesta", false), "Cerrar", "dismiss", "Reintentar con lo que dictaste"},
    };
    for (const Step& step : steps) {
        clocked.model.setState(step.state);
        RoundButton* b = button(step.help);
        ASSERT_NE(b, nullptr) << step.help;
        EXPECT_EQ(button(step.absent), nullptr) << step.absent;
        b->click();
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.back(), step.call);
    }
    // Text rows offer no control, and nothing ever cancels.
    clocked.model.setState(State::working("Redactando\u2026"));
    EXPECT_EQ(button(finishHelp), nullptr);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "cancel"), 0);
}

TEST(OverlayView, LongTextsAreElidedLiveSoTheButtonStaysOnThePanel) {
    ui_test::application();
    Clocked clocked;
    OverlayView live(clocked.model, false, clocked.now());
    OverlayView snapshot(clocked.model, true, clocked.now());
    const std::string message =
        "No encuentro Codex en /usr/local/lib/node_modules/bin/codex. Inst\u00E1lalo desde Ajustes \u203A "
        "Redacci\u00F3n o pon su ruta en \u00ABcodexPath\u00BB (defaults.json).";
    clocked.model.setState(State::error(message, true));
    const auto liveRow = live.layoutRow(live.presentation());
    EXPECT_LE(liveRow.width + 36, 376);
    EXPECT_LE(liveRow.disc.right() + 18, 376);
    EXPECT_TRUE(liveRow.shownText.endsWith(QChar(0x2026)));
    // Still images keep the whole line.
    const auto still = snapshot.layoutRow(snapshot.presentation());
    EXPECT_EQ(still.shownText.toStdString(), message);
    EXPECT_GT(still.width, 376);
}

}  // namespace
}  // namespace Parlox
