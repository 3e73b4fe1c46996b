#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QImage>

#include "platform/desktop/DesktopError.hpp"
#include "platform/desktop/X11WindowScreenshot.hpp"
#include "platform/desktop/X11Workspace.hpp"
#include "tests/desktop/DesktopSession.hpp"

using namespace platform;
using platform::desktop::DesktopError;
using platform::desktop::X11WindowScreenshot;
using parlox::testing::TemporaryFolder;
using parlox::testing::TextFieldProgram;

namespace {

TEST(WindowPicture, FrontWindowOfTheFocusedProgramIsWrittenAsAPrivateJpeg) {
    TextFieldProgram field({TextFieldProgram::Toolkit::qt, "", "hola mundo"});
    desktop::X11Workspace workspace;
    X11WindowScreenshot screenshot;
    ASSERT_TRUE(screenshot.isCaptureAllowed());
    const auto front = workspace.frontmostApplication();
    ASSERT_TRUE(front);

    const auto windows = workspace.windowList();
    const auto own = std::find_if(windows.begin(), windows.end(), [&](const desktop::WindowInfo& w) {
        return w.ownerProcessId == front->processIdentifier && w.layer == 0;
    });
    ASSERT_NE(own, windows.end());
    const auto capturable = screenshot.capturableWindows();
    const auto window = std::find_if(capturable.begin(), capturable.end(), [&](const desktop::CapturableWindow& w) {
        return w.windowNumber == own->windowNumber;
    });
    ASSERT_NE(window, capturable.end());
    EXPECT_EQ(window->frame, own->frame);
    EXPECT_EQ(window->scale, 1.0);

    // Half size, as a caller scaling a large window down would ask.
    const int width = static_cast<int>(window->frame.width / 2), height = static_cast<int>(window->frame.height / 2);
    const auto image = screenshot.capture(*window, width, height);
    ASSERT_EQ(image.width, width);
    ASSERT_EQ(image.height, height);
    ASSERT_EQ(image.rgba.size(), static_cast<size_t>(width) * height * 4);

    TemporaryFolder folder;
    const auto path = folder / "ventana.jpg";
    screenshot.writeJPEG(image, path, 0.8);
    QImage written;
    ASSERT_TRUE(written.load(QString::fromStdString(path.string()), "JPG"));
    EXPECT_EQ(written.size(), QSize(width, height));
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    // The picture is of the window, not of an empty screen: it has more than one colour.
    bool varied = false;
    for (int y = 0; y < written.height() && !varied; ++y)
        for (int x = 0; x < written.width() && !varied; ++x) varied = written.pixel(x, y) != written.pixel(0, 0);
    EXPECT_TRUE(varied);
}

TEST(WindowPicture, UnwritablePlaceAndVanishedWindowThrow) {
    X11WindowScreenshot screenshot;
    desktop::Image image{2, 2, std::vector<uint8_t>(16, 200)};
    try {
        screenshot.writeJPEG(image, "/nonexistent-folder/ventana.jpg", 0.8);
        FAIL() << "missing folder accepted";
    } catch (const DesktopError& e) {
        EXPECT_EQ(e.kind(), DesktopError::Kind::fileWriteFailed);
    }
    EXPECT_THROW(screenshot.capture(desktop::CapturableWindow{1, Rect{-500, -500, 10, 10}, 1}, 5, 5), DesktopError);
}

}  // namespace
