#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include <QApplication>
#include <QElapsedTimer>

#include "app/Overlay/QtOverlayController.hpp"
#include "platform/concurrency/fake/ManualScheduler.hpp"
#include "platform/desktop/X11Desktop.hpp"
#include "tests/app/Interface/XcbTestSupport.hpp"
#include "tests/desktop/DesktopSession.hpp"
#include "tests/desktop/CompositingManager.hpp"

// After the toolkit's headers: Xlib's macros would clash with them.
#include <X11/Xlib.h>

namespace Parlox {
namespace {

using parlox::testing::CompositingManager;
using parlox::testing::FixtureProcess;
using parlox::testing::TemporaryFolder;

// Lets the overlay's own window events run until `done` holds.
template <typename Done>
bool pumpUntil(Done done, int milliseconds = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < milliseconds) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

bool click(QPoint at) {
    const std::string command =
        "xdotool mousemove " + std::to_string(at.x()) + " " + std::to_string(at.y()) + " click 1";
    return std::system(command.c_str()) == 0;
}

// A multi-line text field of another program, with all its text selected;
// what it holds and selects is read from its own report.
class SelectedField {
public:
    SelectedField()
        : report_(folder_ / "field.txt"),
          process_({PARLOX_FIXTURE_QT_FIELD, "--text", "hola mundo", "--widget", "plain", "--select", "0", "10",
                    "--size", "700", "400", "--report", report_.string()}) {}

    int pid() const { return process_.pid(); }
    std::string selected() const {
        const std::string all = parlox::testing::readFile(report_);
        const auto end = all.find('\0');
        if (end == std::string::npos) return "?";
        return all.substr(end + 1, all.find('\0', end + 1) - end - 1);
    }

private:
    TemporaryFolder folder_{"parlox-overlay-field-"};
    std::filesystem::path report_;
    FixtureProcess process_;
};

// With a compositing manager and without one.
class OverlayInput : public ::testing::TestWithParam<bool> {};

TEST_P(OverlayInput, TakesClicksOnThePillAloneAndNeverTheFocus) {
    std::optional<CompositingManager> compositor;
    if (GetParam()) compositor.emplace();
    SelectedField field;
    ASSERT_TRUE(pumpUntil([&] { return field.selected() == "hola mundo"; }));
    platform::desktop::X11Desktop desktop;
    const auto fieldWindow = desktop.frontWindowOf(field.pid());
    ASSERT_TRUE(fieldWindow);

    interface_test::xcbApplication();
    ASSERT_EQ(OverlayPanel::compositing(), GetParam());
    auto scheduler = std::make_shared<platform::ManualScheduler>();
    QtOverlayController controller(scheduler);
    int stops = 0;
    controller.model().setOnStop([&] { ++stops; });
    controller.model().startClock();
    controller.model().setState(OverlayModel::State::recording());
    const platform::Rect& frame = fieldWindow->frame;
    controller.show(platform::Rect{frame.x + 60, frame.y + 40, 2, 18});
    ASSERT_TRUE(pumpUntil([&] {
        XWindowAttributes attributes;
        return controller.isOnScreen() &&
               XGetWindowAttributes(desktop.display(), controller.panel().winId(), &attributes) &&
               attributes.map_state == IsViewable;
    }));

    // Beside the pill, inside the panel and over the field: the field takes the click.
    OverlayPanel& panel = controller.panel();
    const QRect pill = panel.view().pillRect().toRect();
    const QPoint beside = panel.mapToGlobal(QPoint(pill.right() + 20, pill.center().y()));
    ASSERT_TRUE(panel.geometry().contains(beside));
    ASSERT_TRUE(QRectF(frame.x, frame.y, frame.width, frame.height).contains(beside));
    ASSERT_TRUE(click(beside));
    EXPECT_TRUE(pumpUntil([&] { return field.selected().empty(); })) << "the click stayed in the overlay";

    // On the pill's button: the overlay acts at once, and the field keeps the focus.
    OverlayView& view = panel.view();
    const QRectF disc = view.layoutRow(view.presentation()).disc.translated(OverlayView::padding, OverlayView::padding);
    // The button shows once the pill has finished coming in.
    ASSERT_TRUE(pumpUntil([&] { return view.childAt(disc.center().toPoint()) != nullptr; }));
    ASSERT_TRUE(click(panel.mapToGlobal(disc.center().toPoint())));
    EXPECT_TRUE(pumpUntil([&] { return stops == 1; }));
    const auto focused = desktop.activeWindow();
    ASSERT_TRUE(focused);
    EXPECT_EQ(focused->pid, field.pid());
}

INSTANTIATE_TEST_SUITE_P(Desktop, OverlayInput, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Compositor" : "NoCompositor"; });

}  // namespace
}  // namespace Parlox
