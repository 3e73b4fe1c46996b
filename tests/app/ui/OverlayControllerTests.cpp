#include <QElapsedTimer>

#include <gtest/gtest.h>

#include "app/Overlay/QtOverlayController.hpp"
#include "platform/concurrency/fake/ManualScheduler.hpp"
#include "tests/app/ui/QtTestSupport.hpp"

namespace Parlox {
namespace {

using State = OverlayModel::State;
using Row = OverlayPresentation::Row;

class OverlayControllerTest : public ::testing::Test {
protected:
    QApplication& application = ui_test::application();

    QtOverlayController::Desktop desktop() {
        return {
            [] { return std::vector<OverlayPlacement::Screen>{{QRectF(0, 0, 1280, 800), QRectF(0, 28, 1280, 772)}}; },
            [] { return std::optional<size_t>(0); },
            [this] { return mouse; },
        };
    }

    // Lets the live view's animations end so its real buttons show: 600 ms
    // outlasts them, but a busy machine can hold a frame past that, so it
    // goes on until `buttons` are the ones offered (at most 30 s).
    void settleAnimations(const std::vector<std::string>& buttons) {
        QElapsedTimer timer;
        timer.start();
        do QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        while (timer.elapsed() < 600 || (offeredButtons() != buttons && timer.elapsed() < 30000));
    }

    std::vector<std::string> offeredButtons() {
        std::vector<std::string> helps;
        for (RoundButton* b : controller.panel().findChildren<RoundButton*>())
            if (b->isVisibleTo(&controller.panel())) helps.push_back(b->help().toStdString());
        std::sort(helps.begin(), helps.end());
        return helps;
    }

    QPointF mouse{640, 400};
    std::shared_ptr<platform::ManualScheduler> scheduler = std::make_shared<platform::ManualScheduler>();
    QtOverlayController controller{scheduler, desktop()};
    OverlayModel& model = controller.model();
};

TEST_F(OverlayControllerTest, ModelWalkAtTheCaretThenOrderedOutAfterTheHide) {
    const platform::Rect caret{300, 200, 2, 18};
    model.setLevel(0);
    model.startClock();
    model.setState(State::recording());
    controller.show(caret);
    ASSERT_TRUE(controller.isOnScreen());
    EXPECT_EQ(controller.panel().geometry(), QRect(270, 208, 376, 80));
    EXPECT_EQ(controller.panel().view().presentation().row, Row::recording);
    const std::vector<std::string> recording{"Pausar",
                                             "Terminar y redactar (Intro o Alt+Espacio) \u00B7 Esc cancela"};
    settleAnimations(recording);
    EXPECT_EQ(offeredButtons(), recording);

    scheduler->advance(3);
    model.pauseClock();
    model.setState(State::paused());
    const std::vector<std::string> paused{"Reanudar", "Terminar y redactar (Intro o Alt+Espacio) \u00B7 Esc cancela"};
    settleAnimations(paused);
    EXPECT_EQ(offeredButtons(), paused);
    EXPECT_EQ(controller.panel().view().clockText(), "00:03");

    model.setState(State::working("Redactando\u2026"));
    EXPECT_EQ(controller.panel().view().presentation().row, Row::text);
    settleAnimations({});
    EXPECT_TRUE(offeredButtons().empty());

    model.setState(State::error("Sin respuesta", true));
    controller.show(std::nullopt);  // stays where it is
    controller.hide(8.0);
    EXPECT_EQ(controller.panel().geometry().topLeft(), QPoint(270, 208));
    const std::vector<std::string> error{"Reintentar con lo que dictaste"};
    settleAnimations(error);
    EXPECT_EQ(offeredButtons(), error);

    scheduler->advance(7.99);
    EXPECT_EQ(model.state(), State::error("Sin respuesta", true));
    scheduler->advance(0.01);
    EXPECT_EQ(model.state(), State::hidden());
    scheduler->advance(0.25);
    EXPECT_TRUE(controller.isOnScreen());
    scheduler->advance(0.01);
    EXPECT_FALSE(controller.isOnScreen());
    EXPECT_FALSE(controller.anchor().has_value());
}

TEST_F(OverlayControllerTest, ShowCancelsPendingHidesAndRemovals) {
    // A show right after a timed hide cancels it.
    model.setState(State::done("Copiado"));
    controller.show(platform::Rect{100, 100, 1, 16});
    controller.hide(2.5);
    controller.show(platform::Rect{100, 100, 1, 16});
    scheduler->advance(5);
    EXPECT_EQ(model.state(), State::done("Copiado"));

    // A new recording before the 8 s hide: the state is not the one seen, so it stays.
    model.setState(State::error("Sin cuota", false));
    controller.hide(8);
    scheduler->advance(3);
    model.setState(State::recording());
    scheduler->advance(6);
    EXPECT_EQ(model.state(), State::recording());

    // Hidden, then a recording shown 0.1 s later: the removal is cancelled
    // and the panel stays, at the new anchor.
    model.setState(State::hidden());
    scheduler->advance(0.1);
    model.setState(State::recording());
    controller.show(platform::Rect{700, 300, 2, 18});
    scheduler->advance(1);
    EXPECT_TRUE(controller.isOnScreen());
    EXPECT_EQ(controller.panel().geometry().topLeft(), QPoint(670, 308));
}

TEST_F(OverlayControllerTest, WithoutACaretTheMouseAnchorsAndHideAtOnceForgetsIt) {
    controller.show(std::nullopt);
    ASSERT_TRUE(controller.anchor().has_value());
    EXPECT_EQ(*controller.anchor(), (platform::Rect{640, 400, 0, 0}));
    EXPECT_EQ(controller.panel().geometry().topLeft(), QPoint(610, 390));

    // Shown again without a rectangle, it keeps its place even if the mouse moved.
    mouse = QPointF(100, 100);
    controller.show(std::nullopt);
    EXPECT_EQ(controller.panel().geometry().topLeft(), QPoint(610, 390));

    controller.hide(2);
    controller.hideAtOnce();
    EXPECT_FALSE(controller.isOnScreen());
    EXPECT_FALSE(controller.anchor().has_value());
    scheduler->advance(3);
    EXPECT_EQ(model.state(), State::hidden());
    EXPECT_TRUE(scheduler->pendingTimerDelays().empty());
}

TEST_F(OverlayControllerTest, PanelIsAFramelessUnfocusableWindowOfTheFixedSize) {
    QWidget& panel = controller.panel();
    EXPECT_TRUE(panel.isWindow());
    EXPECT_EQ(panel.size(), QSize(376, 80));
    const Qt::WindowFlags flags = panel.windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::ToolTip);
    EXPECT_TRUE(flags & Qt::FramelessWindowHint);
    EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(flags & Qt::WindowDoesNotAcceptFocus);
    EXPECT_TRUE(panel.testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_TRUE(panel.testAttribute(Qt::WA_TranslucentBackground));
    controller.show(platform::Rect{300, 200, 2, 18});
    EXPECT_FALSE(panel.isActiveWindow());
    EXPECT_EQ(QApplication::focusWidget(), nullptr);
}

}  // namespace
}  // namespace Parlox
