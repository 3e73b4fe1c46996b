#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

#include <nlohmann/json.hpp>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTest>

#include "tests/app/Interface/XcbTestSupport.hpp"
#include "tests/writing/TestSupport.hpp"

// Last: Xlib's macros would spoil the Qt headers.
#include <X11/Xlib.h>

namespace {

namespace fs = std::filesystem;

QString parlox() { return QString::fromStdString((fs::path(PARLOX_BINARY_DIR) / "app" / "parlox").string()); }

// Output of a short xdotool command, or nothing when it fails.
std::string xdotool(const QStringList& arguments, int milliseconds = 10000) {
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    if (!process.waitForFinished(milliseconds) || process.exitCode() != 0) return {};
    return process.readAllStandardOutput().trimmed().toStdString();
}

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};

Geometry geometryOf(const std::string& window) {
    Geometry g;
    const std::string shell = xdotool({"getwindowgeometry", "--shell", QString::fromStdString(window)});
    for (const auto& line : writing_test::lines(shell)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq);
        const int value = std::atoi(line.c_str() + eq + 1);
        if (key == "X") g.x = value;
        if (key == "Y") g.y = value;
        if (key == "WIDTH") g.width = value;
        if (key == "HEIGHT") g.height = value;
    }
    return g;
}

// Asks the window to close, as a window manager's close button does.
bool closeWindow(const std::string& window) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = std::stoul(window);
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(display, event.xclient.window, False, NoEventMask, &event) != 0;
    XSync(display, False);
    XCloseDisplay(display);
    return sent;
}

// The screen as it is now.
QImage screenshot() { return QGuiApplication::primaryScreen()->grabWindow(0).toImage(); }

int countNear(const QImage& image, const QRect& area, QColor colour, int tolerance) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - colour.red()) <= tolerance && std::abs(c.green() - colour.green()) <= tolerance &&
                std::abs(c.blue() - colour.blue()) <= tolerance)
                ++n;
        }
    return n;
}

// The screen once `painted` holds for it, or as it is 30 s on: the
// application paints in its own time, late on a busy machine.
QImage screenshotOnce(const std::function<bool(const QImage&)>& painted) {
    QElapsedTimer clock;
    clock.start();
    QImage shot = screenshot();
    while (!painted(shot) && clock.elapsed() < 30000) {
        QTest::qWait(100);
        shot = screenshot();
    }
    return shot;
}

// The application started with a launch switch in a private home, on the X
// server of the tests, and stopped at the end.
class ShowWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!interface_test::hasDisplay()) GTEST_FAIL() << "needs an X server: run it inside tests/desktop/session.sh, as ctest does";
        interface_test::xcbApplication();
        writing_test::writeFile(box.root() / "config" / "Parlox" / "defaults.json",
                                R"({"fakePermissions": {"microphone": "granted", "accessibility": "granted"}})");
    }
    void TearDown() override {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    // Starts it and waits for its window; the window's id.
    std::string start(const QStringList& arguments) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "xcb");
        environment.insert("XDG_DATA_HOME", QString::fromStdString((box.root() / "data").string()));
        process.setProcessEnvironment(environment);
        process.start(parlox(), arguments);
        if (!process.waitForStarted(10000)) return {};
        return xdotool({"search", "--sync", "--onlyvisible", "--pid", QString::number(process.processId())}, 30000);
    }

    writing_test::Sandbox box;
    QProcess process;
};

TEST_F(ShowWindowTest, ShowWelcomeOpensTheFirstPageAndClosingItFinishesTheSetup) {
    const std::string window = start({"--show-welcome"});
    ASSERT_FALSE(window.empty()) << "no window appeared";
    const Geometry g = geometryOf(window);
    EXPECT_EQ(g.width, 440);
    EXPECT_EQ(g.height, 500);
    // The window's light background and the prominent "Continuar" at the bottom right.
    const auto background = [&](const QImage& shot) {
        return countNear(shot, QRect(g.x + 10, g.y + 150, 400, 200), QColor(0xEC, 0xEC, 0xEC), 4);
    };
    const auto button = [&](const QImage& shot) {
        return countNear(shot, QRect(g.x + 300, g.y + 440, 130, 50), QColor(0x0A, 0x84, 0xFF), 12);
    };
    const QImage shot = screenshotOnce([&](const QImage& s) { return background(s) > 40000 && button(s) > 300; });
    EXPECT_GT(background(shot), 40000);
    EXPECT_GT(button(shot), 300);

    // The application lives on in the tray once its last window closes.
    ASSERT_TRUE(closeWindow(window));
    const fs::path settings = box.root() / "config" / "Parlox" / "defaults.json";
    auto finished = [&] {
        return nlohmann::json::parse(writing_test::readFile(settings)).value("hasFinishedSetup", false);
    };
    QElapsedTimer asked;
    asked.start();
    while (!finished() && asked.elapsed() < 30000) QTest::qWait(50);
    EXPECT_TRUE(finished()) << writing_test::readFile(settings);
    EXPECT_EQ(process.state(), QProcess::Running);
}

// With the tray icon hidden: the settings come back from the application
// menu's entry, and Ctrl+Q in them quits.
TEST_F(ShowWindowTest, TheApplicationMenuListsParloxAndCtrlQInTheSettingsQuits) {
    writing_test::writeFile(box.root() / "config" / "Parlox" / "defaults.json",
                            R"({"fakePermissions": {"microphone": "granted", "accessibility": "granted"},
                                "hasFinishedSetup": true, "showsMenuBarIcon": false})");
    const std::string window = start({"--show-settings"});
    ASSERT_FALSE(window.empty()) << "no window appeared";
    const fs::path entry = box.root() / "data" / "applications" / "parlox.desktop";
    ASSERT_TRUE(fs::exists(entry));
    EXPECT_NE(writing_test::readFile(entry).find("\nExec=\"" + parlox().toStdString() + "\"\n"), std::string::npos)
        << writing_test::readFile(entry);

    xdotool({"windowfocus", "--sync", QString::fromStdString(window)});
    xdotool({"key", "ctrl+q"});
    ASSERT_TRUE(process.waitForFinished(30000)) << "still running after Ctrl+Q";
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
}

TEST_F(ShowWindowTest, ShowSettingsVoiceOpensTheVoiceTab) {
    const std::string window = start({"--show-settings", "voice"});
    ASSERT_FALSE(window.empty()) << "no window appeared";
    EXPECT_EQ(xdotool({"getwindowname", QString::fromStdString(window)}), "Ajustes de Parlox");
    const Geometry g = geometryOf(window);
    EXPECT_EQ(g.width, 660);
    EXPECT_GT(g.height, 360);
    EXPECT_LT(g.height, 360 + 120);
    // Two white cards (the model's state and its place) under the toolbar.
    const auto cards = [&](const QImage& shot) {
        return countNear(shot, QRect(g.x, g.y + g.height - 360, 660, 360), QColor(0xFF, 0xFF, 0xFF), 0);
    };
    EXPECT_GT(cards(screenshotOnce([&](const QImage& s) { return cards(s) > 30000; })), 30000);
}

}  // namespace
