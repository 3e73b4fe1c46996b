#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <memory>
#include <optional>
#include <set>

#include <QImage>

#include "app/Context/ScreenContext.hpp"
#include "app/Support/ScreenContextConsent.hpp"
#include "platform/desktop/DesktopError.hpp"
#include "platform/desktop/X11WindowScreenshot.hpp"
#include "platform/desktop/X11Workspace.hpp"
#include "platform/log/SystemLog.hpp"
#include "tests/desktop/DesktopSession.hpp"
#include "tests/desktop/CompositingManager.hpp"
#include "tests/support/StandardDefaults.hpp"

// After the toolkit's headers: Xlib's macros would clash with them.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>

using namespace platform;
using platform::desktop::DesktopError;
using platform::desktop::X11WindowScreenshot;
using parlox::testing::CompositingManager;
using parlox::testing::LogLines;
using parlox::testing::TemporaryFolder;
using parlox::testing::TextFieldProgram;
using parlox::testing::eventually;

namespace {

constexpr unsigned long blue = 0x0000ff;

// The screen's pixel at a point, as 0xRRGGBB on the test desktop's 24-bit screen.
unsigned long screenPixel(int x, int y) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) return 0;
    unsigned long pixel = 0;
    if (XImage* image = XGetImage(display, DefaultRootWindow(display), x, y, 1, 1, AllPlanes, ZPixmap)) {
        pixel = XGetPixel(image, 0, 0) & 0xffffff;
        XDestroyImage(image);
    }
    XCloseDisplay(display);
    return pixel;
}

// Another program's window of one colour above every other, over `area`,
// while the object lives; ready once the screen shows it.
class CoveringWindow {
public:
    CoveringWindow(const Rect& area, unsigned long rgb) : display_(XOpenDisplay(nullptr)) {
        if (display_ == nullptr) throw std::runtime_error("no X display");
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        attributes.background_pixel = rgb;
        const Window window = XCreateWindow(
            display_, DefaultRootWindow(display_), static_cast<int>(area.x), static_cast<int>(area.y),
            static_cast<unsigned>(area.width), static_cast<unsigned>(area.height), 0, CopyFromParent, InputOutput,
            CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
        XMapRaised(display_, window);
        XSync(display_, False);
        const int x = static_cast<int>(area.midX()), y = static_cast<int>(area.midY());
        if (!eventually([&] { return screenPixel(x, y) == rgb; }, std::chrono::seconds(10)))
            throw std::runtime_error("the covering window never showed");
    }
    ~CoveringWindow() { XCloseDisplay(display_); }
    CoveringWindow(const CoveringWindow&) = delete;
    CoveringWindow& operator=(const CoveringWindow&) = delete;

private:
    Display* display_;
};

bool isBlue(const desktop::Image& image, size_t pixel) {
    const uint8_t* p = image.rgba.data() + pixel * 4;
    return p[2] > 150 && p[0] < 100 && p[1] < 100;
}

size_t bluePixels(const desktop::Image& image) {
    size_t count = 0;
    for (size_t i = 0; i < image.rgba.size() / 4; ++i) count += isBlue(image, i) ? 1 : 0;
    return count;
}

// Pixels that differ clearly between two pictures of one size.
size_t differentPixels(const desktop::Image& a, const desktop::Image& b) {
    size_t count = 0;
    for (size_t i = 0; i + 3 < a.rgba.size() && i + 3 < b.rgba.size(); i += 4)
        for (size_t c = 0; c < 3; ++c)
            if (std::abs(int(a.rgba[i + c]) - int(b.rgba[i + c])) > 40) {
                ++count;
                break;
            }
    return count;
}

// Has the X server close the connections this process opens while the
// object lives, as it does when it ends.
class ConnectionCutter {
public:
    ConnectionCutter() : display_(XOpenDisplay(nullptr)) {
        if (display_ == nullptr) throw std::runtime_error("no X display");
        before_ = clientsOfThisProcess();
    }
    ~ConnectionCutter() { XCloseDisplay(display_); }
    ConnectionCutter(const ConnectionCutter&) = delete;
    ConnectionCutter& operator=(const ConnectionCutter&) = delete;

    // How many it closed.
    size_t cutNewConnections() {
        size_t cut = 0;
        for (const XID client : clientsOfThisProcess())
            if (before_.count(client) == 0) {
                XKillClient(display_, client);
                ++cut;
            }
        XSync(display_, False);
        return cut;
    }

private:
    // Each client's resource base, as the X server lists them.
    std::set<XID> clientsOfThisProcess() {
        std::set<XID> out;
        int count = 0;
        XResClient* clients = nullptr;
        if (!XResQueryClients(display_, &count, &clients)) return out;
        for (int i = 0; i < count; ++i) {
            XResClientIdSpec spec{clients[i].resource_base, XRES_CLIENT_ID_PID_MASK};
            long values = 0;
            XResClientIdValue* ids = nullptr;
            if (XResQueryClientIds(display_, 1, &spec, &values, &ids) != Success) continue;
            for (long v = 0; v < values; ++v)
                if (XResGetClientPid(&ids[v]) == ::getpid()) out.insert(clients[i].resource_base);
            XResClientIdsDestroy(values, ids);
        }
        XFree(clients);
        return out;
    }

    Display* display_;
    std::set<XID> before_;
};

// A text field's window, found as the window-picture code finds it.
struct TargetWindow {
    std::unique_ptr<TextFieldProgram> program;
    desktop::CapturableWindow window;

    explicit TargetWindow(TextFieldProgram::Toolkit toolkit = TextFieldProgram::Toolkit::qt) {
        TextFieldProgram::Options options{toolkit, "", "hola mundo\nsegunda línea"};
        options.widget = TextFieldProgram::Widget::plainMultiLine;
        if (toolkit == TextFieldProgram::Toolkit::qt) {
            options.width = 480;
            options.height = 320;
        }
        program = std::make_unique<TextFieldProgram>(options);
        desktop::X11Workspace workspace;
        X11WindowScreenshot screenshot;
        const auto windows = workspace.windowList();
        const auto own = std::find_if(windows.begin(), windows.end(), [&](const desktop::WindowInfo& w) {
            return w.ownerProcessId == program->pid() && w.layer == 0;
        });
        if (own == windows.end()) throw std::runtime_error("the field's window is not listed");
        for (const auto& w : screenshot.capturableWindows())
            if (w.windowNumber == own->windowNumber) window = w;
        if (window.windowNumber == 0) throw std::runtime_error("the field's window cannot be captured");
    }
    int width() const { return static_cast<int>(window.frame.width); }
    int height() const { return static_cast<int>(window.frame.height); }
    // The middle half of the window.
    Rect middle() const { return window.frame.insetBy(window.frame.width / 4, window.frame.height / 4); }
};

// With and without a compositing manager.
class CoveredWindowPicture : public ::testing::TestWithParam<bool> {};
// The same, for each toolkit's program.
class CoveredProgramPicture : public ::testing::TestWithParam<std::tuple<bool, TextFieldProgram::Toolkit>> {};

TEST_P(CoveredProgramPicture, HoldsOnlyTheWindowsOwnPixels) {
    std::optional<CompositingManager> compositor;
    if (std::get<0>(GetParam())) compositor.emplace();
    TargetWindow target(std::get<1>(GetParam()));
    X11WindowScreenshot screenshot;
    const auto alone = screenshot.capture(target.window, target.width(), target.height());
    ASSERT_EQ(bluePixels(alone), 0u);

    CoveringWindow cover(target.middle(), blue);
    const auto covered = screenshot.capture(target.window, target.width(), target.height());
    ASSERT_EQ(covered.width, target.width());
    ASSERT_EQ(covered.height, target.height());
    EXPECT_EQ(bluePixels(covered), 0u);
    // The same picture as uncovered, but for the blinking caret.
    EXPECT_LT(differentPixels(alone, covered), covered.rgba.size() / 4 / 100);
}

INSTANTIATE_TEST_SUITE_P(Desktop, CoveredProgramPicture,
                         ::testing::Combine(::testing::Values(false, true),
                                            ::testing::Values(TextFieldProgram::Toolkit::qt,
                                                              TextFieldProgram::Toolkit::gtk)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param) ? "Compositor" : "NoCompositor") +
                                    (std::get<1>(info.param) == TextFieldProgram::Toolkit::qt ? "Qt" : "Gtk");
                         });

// A stopped program cannot draw what was covered: without a compositing
// manager keeping its contents there is no picture (and the log says why);
// with one, the kept contents are the picture.
TEST_P(CoveredWindowPicture, OfAStoppedProgramIsItsKeptContentsOrNone) {
    std::optional<CompositingManager> compositor;
    if (GetParam()) compositor.emplace();
    TargetWindow target;
    auto workspace = std::make_shared<desktop::X11Workspace>();
    auto screenshot = std::make_shared<X11WindowScreenshot>();
    parlox::testing::StandardDefaults saidYes(nlohmann::json{{Parlox::ScreenContextConsent::key, true}});
    Parlox::ScreenContext screen(workspace, screenshot);

    ASSERT_EQ(::kill(target.program->pid(), SIGSTOP), 0);
    struct Resume {
        pid_t pid;
        ~Resume() { ::kill(pid, SIGCONT); }
    } resume{target.program->pid()};
    // Uncovered, what the screen shows is the window's own.
    EXPECT_TRUE(screen.capture(target.program->pid()).has_value());

    CoveringWindow cover(target.middle(), blue);
    LogLines log;
    const auto picture = screen.capture(target.program->pid());
    if (GetParam()) {
        ASSERT_TRUE(picture.has_value());
        QImage written;
        ASSERT_TRUE(written.load(QString::fromStdString(picture->string()), "JPG"));
        for (int y = 0; y < written.height(); ++y)
            for (int x = 0; x < written.width(); ++x) {
                const QRgb p = written.pixel(x, y);
                ASSERT_FALSE(qBlue(p) > 150 && qRed(p) < 100 && qGreen(p) < 100) << "blue at " << x << "," << y;
            }
    } else {
        EXPECT_EQ(picture, std::nullopt);
        EXPECT_TRUE(log.containsPrefix("Captura fallida: "));
    }
}

INSTANTIATE_TEST_SUITE_P(Desktop, CoveredWindowPicture, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Compositor" : "NoCompositor"; });

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

// The X server closes the connection of the window pictures (as when it
// ends): listing the windows says so instead of finding none, a capture
// too, the dictation goes on without a picture and the log says why; this
// process lives on, and the next call connects again.
TEST(WindowPicture, AConnectionTheServerClosedIsReportedNotTakenForNoWindows) {
    TargetWindow target;
    auto workspace = std::make_shared<desktop::X11Workspace>();
    ASSERT_FALSE(workspace->windowList().empty());  // its own connection stays
    ConnectionCutter cutter;
    auto screenshot = std::make_shared<X11WindowScreenshot>();
    parlox::testing::StandardDefaults saidYes(nlohmann::json{{Parlox::ScreenContextConsent::key, true}});
    Parlox::ScreenContext screen(workspace, screenshot);
    ASSERT_TRUE(screen.capture(target.program->pid()).has_value());
    ASSERT_EQ(cutter.cutNewConnections(), 1u);

    const DesktopError closed(DesktopError::Kind::unavailable, "the X server closed the connection");
    auto expectClosed = [&](const std::function<void()>& call, const char* what) {
        try {
            call();
            ADD_FAILURE() << what << " went through a closed connection";
        } catch (const DesktopError& e) {
            EXPECT_EQ(e.description(), closed.description()) << what;
        }
    };
    expectClosed([&] { screenshot->capturableWindows(); }, "a listing");
    EXPECT_FALSE(screenshot->capturableWindows().empty()) << "no new connection after a dropped one";

    ASSERT_EQ(cutter.cutNewConnections(), 1u);
    expectClosed([&] { screenshot->capture(target.window, 5, 5); }, "a capture");
    EXPECT_EQ(screenshot->capture(target.window, 5, 5).width, 5);

    ASSERT_EQ(cutter.cutNewConnections(), 1u);
    {
        LogLines log;
        EXPECT_EQ(screen.capture(target.program->pid()), std::nullopt);
        EXPECT_TRUE(log.containsPrefix("Captura fallida: " + closed.description()));
    }
    EXPECT_TRUE(screen.capture(target.program->pid()).has_value());
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
