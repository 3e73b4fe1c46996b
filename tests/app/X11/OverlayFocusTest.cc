#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include <QApplication>
#include <QElapsedTimer>
#include <QWindow>

#include "app/Overlay/QtOverlayController.hpp"
#include "platform/concurrency/fake/ManualScheduler.hpp"
#include "platform/process/Subprocess.hpp"
#include "tests/app/Interface/XcbTestSupport.hpp"
#include "tests/support/TemporaryFolder.hpp"

namespace Parlox {
namespace {

using interface_test::hasDisplay;
using interface_test::xcbApplication;

void pumpFor(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// Runs the event loop until `done` holds, for at most 30 s; whether it does.
template <class Done>
bool pumpUntil(Done done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 30000) pumpFor(50);
    return done();
}

std::string readAll(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Another program's text field, running while the object lives.
class FocusField {
public:
    explicit FocusField(const std::filesystem::path& report) : report_(report) {
        thread_ = std::thread([this] {
            platform::process::Options options;
            options.executable = PARLOX_FOCUS_FIELD;
            options.arguments = {report_.string()};
            options.timeout = 60;
            options.onSpawned = [this](int pid) { pid_ = pid; };
            platform::process::run(options);
        });
    }
    ~FocusField() {
        if (pid_ > 0) ::kill(pid_, SIGTERM);
        thread_.join();
    }
    std::string report() const { return readAll(report_); }

private:
    std::filesystem::path report_;
    std::atomic<int> pid_{0};
    std::thread thread_;
};

TEST(OverlayOnX11, NeverTakesTheFocusFromAnotherProgramsField) {
    if (!hasDisplay()) GTEST_FAIL() << "needs an X server: run it inside tests/desktop/session.sh, as ctest does";
    xcbApplication();
    parlox::testing::TemporaryFolder folder;
    FocusField field(folder / "focus.txt");
    QElapsedTimer waited;
    waited.start();
    while (field.report().find("activa") == std::string::npos && waited.elapsed() < 10000) pumpFor(50);
    ASSERT_EQ(field.report(), "activa\n") << "the field never got the focus";

    auto scheduler = std::make_shared<platform::ManualScheduler>();
    QtOverlayController controller(scheduler);
    int stops = 0;
    controller.model().setOnStop([&] { ++stops; });
    controller.model().startClock();
    controller.model().setState(OverlayModel::State::recording());
    controller.show(platform::Rect{200, 200, 2, 18});
    pumpFor(700);
    ASSERT_TRUE(controller.isOnScreen());
    // The click below needs the window on the X server, not only shown to Qt.
    ASSERT_TRUE(pumpUntil(
        [&] { return controller.panel().windowHandle() && controller.panel().windowHandle()->isExposed(); }));
    // No compositing manager on this display: the window is cut to the pill.
    ASSERT_FALSE(OverlayPanel::compositing());
    // Nor can it be translucent: the pill comes and goes whole, never in a black frame.
    EXPECT_FALSE(controller.panel().view().isAnimated());
    const QRegion mask = controller.panel().mask();
    EXPECT_TRUE(mask.contains(controller.panel().view().pillRect().center().toPoint()));
    EXPECT_FALSE(mask.contains(QPoint(2, 2)));
    EXPECT_FALSE(mask.contains(QPoint(370, 40)));

    // A click on the finish button acts at once, and the field keeps the focus.
    OverlayView& view = controller.panel().view();
    const QRectF disc = view.layoutRow(view.presentation()).disc.translated(OverlayView::padding, OverlayView::padding);
    const QPoint target = controller.panel().mapToGlobal(disc.center().toPoint());
    const std::string click = "xdotool mousemove " + std::to_string(target.x()) + " " + std::to_string(target.y()) +
                              " click 1";
    ASSERT_EQ(std::system(click.c_str()), 0);
    pumpUntil([&] { return stops > 0; });
    // A second stop would come right behind the first.
    pumpFor(300);
    EXPECT_EQ(stops, 1);

    controller.model().setState(OverlayModel::State::hidden());
    scheduler->advance(0.3);
    pumpFor(300);
    EXPECT_FALSE(controller.isOnScreen());
    EXPECT_EQ(field.report(), "activa\n");
}

}  // namespace
}  // namespace Parlox
