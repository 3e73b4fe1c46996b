#include <gtest/gtest.h>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "GlobalKeyBindings/GlobalKeyBindings.hpp"
#include "platform/concurrency/MainRunLoop.hpp"
#include "platform/foundation/fake/InMemoryUserDefaults.hpp"
#include "platform/input/X11HotKeyService.hpp"
#include "platform/input/X11KeyLayout.hpp"
#include "platform/log/SystemLog.hpp"

namespace GlobalKeyBindings {
namespace {

const Shortcut kOptionSpace{Key::space, ModifierFlags::option};
const Shortcut kEscape{Key::escape, ModifierFlags()};
const Name kToggle("toggleRecording", kOptionSpace);
const Name kCancel("cancel", kEscape);

// The bound only decides how long a broken grab takes to fail: a loaded
// machine can hold the X server or this thread up for seconds.
bool runMainUntil(const std::function<bool()>& done, double seconds = 30) {
    return platform::MainRunLoop().runUntil(done, seconds);
}

int run(const std::string& command) { return std::system(command.c_str()); }

bool hasDisplay() { return std::getenv("DISPLAY") && *std::getenv("DISPLAY"); }

// Xvfb resets when its last client leaves and refuses connections meanwhile:
// a connection held for the whole test keeps it up.
struct DisplayKeeper {
    Display* display = nullptr;
    DisplayKeeper() {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!(display = XOpenDisplay(nullptr)) && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ~DisplayKeeper() {
        if (display) XCloseDisplay(display);
    }
};

int xErrorCode = 0;
int recordError(Display*, XErrorEvent* event) {
    xErrorCode = event->error_code;
    return 0;
}

// A second client on the same display, as another application would be.
class OtherClient {
public:
    OtherClient() : display_(XOpenDisplay(nullptr)) {}
    ~OtherClient() {
        if (display_) XCloseDisplay(display_);
    }
    // Grabs the key on the root window; false when the server refuses.
    bool grab(KeySym sym, unsigned modifiers) {
        auto* old = XSetErrorHandler(recordError);
        xErrorCode = 0;
        XGrabKey(display_, XKeysymToKeycode(display_, sym), modifiers, DefaultRootWindow(display_),
                 False, GrabModeAsync, GrabModeAsync);
        XSync(display_, False);
        XSetErrorHandler(old);
        return xErrorCode == 0;
    }
    void ungrab(KeySym sym, unsigned modifiers) {
        XUngrabKey(display_, XKeysymToKeycode(display_, sym), modifiers, DefaultRootWindow(display_));
        XSync(display_, False);
    }
    void key(KeySym sym, bool down) {
        XTestFakeKeyEvent(display_, XKeysymToKeycode(display_, sym), down, CurrentTime);
        XSync(display_, False);
    }
    Display* display() { return display_; }

private:
    Display* display_;
};

class X11HotKeysTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!hasDisplay())
            GTEST_FAIL() << "needs an X server: run it inside tests/desktop/session.sh, as ctest does";
        keeper = std::make_unique<DisplayKeeper>();
        ASSERT_TRUE(keeper->display) << "no X server answers on " << std::getenv("DISPLAY");
        platform::MainQueue::shared().bindToCurrentThread();
        service = std::make_shared<platform::input::X11HotKeyService>();
        install({std::make_shared<platform::InMemoryUserDefaults>(), service, nullptr, nullptr});
        declare(kToggle);
        declare(kCancel);
    }
    void TearDown() override {
        if (isInstalled()) uninstall();
        service.reset();
        platform::MainRunLoop::drainMain();
        keeper.reset();
    }

    std::unique_ptr<DisplayKeeper> keeper;
    std::shared_ptr<platform::input::X11HotKeyService> service;
};

TEST_F(X11HotKeysTest, AltSpaceFromXdotoolFiresTheToggleOnce) {
    int downs = 0, ups = 0;
    onKeyDown(kToggle, [&] { ++downs; });
    onKeyUp(kToggle, [&] { ++ups; });
    ASSERT_TRUE(isEnabled(kToggle));

    ASSERT_EQ(run("xdotool key alt+space"), 0);
    ASSERT_TRUE(runMainUntil([&] { return ups == 1; }));
    EXPECT_EQ(downs, 1);

    // With Num Lock on the grab variants still catch it.
    ASSERT_EQ(run("xdotool key Num_Lock key alt+space key Num_Lock"), 0);
    ASSERT_TRUE(runMainUntil([&] { return ups == 2; }));
    EXPECT_EQ(downs, 2);

    // Alt+Shift+Space is another shortcut.
    ASSERT_EQ(run("xdotool key alt+shift+space key alt+space"), 0);
    ASSERT_TRUE(runMainUntil([&] { return ups == 3; }));
    EXPECT_EQ(downs, 3);
}

TEST_F(X11HotKeysTest, AHeldKeyFiresOnceDespiteAutoRepeat) {
    OtherClient keyboard;
    ASSERT_TRUE(keyboard.display());
    unsigned oldDelay = 0, oldInterval = 0;
    XkbGetAutoRepeatRate(keyboard.display(), XkbUseCoreKbd, &oldDelay, &oldInterval);
    XkbSetAutoRepeatRate(keyboard.display(), XkbUseCoreKbd, 30, 10);
    XAutoRepeatOn(keyboard.display());
    XSync(keyboard.display(), False);

    int downs = 0, ups = 0;
    onKeyDown(kToggle, [&] { ++downs; });
    onKeyUp(kToggle, [&] { ++ups; });
    keyboard.key(XK_Alt_L, true);
    keyboard.key(XK_space, true);
    // Hold until the server has auto-repeated a few times.
    const bool repeated = runMainUntil([&] { return service->droppedRepeats() >= 3; });
    keyboard.key(XK_space, false);
    keyboard.key(XK_Alt_L, false);
    // Not a wait for exactly one: repeats taken for presses would make it last the whole bound.
    ASSERT_TRUE(runMainUntil([&] { return ups >= 1; }));
    XkbSetAutoRepeatRate(keyboard.display(), XkbUseCoreKbd, oldDelay, oldInterval);
    XSync(keyboard.display(), False);

    EXPECT_TRUE(repeated) << "the server did not auto-repeat the held key";
    EXPECT_EQ(downs, 1);
    EXPECT_EQ(ups, 1);
}

TEST_F(X11HotKeysTest, EscapeIsGrabbedOnlyWhileEnabled) {
    int cancels = 0;
    onKeyDown(kCancel, [&] { ++cancels; });
    disable({kCancel});
    OtherClient other;
    ASSERT_TRUE(other.display());
    EXPECT_TRUE(other.grab(XK_Escape, 0)) << "Escape is held while disabled";
    other.ungrab(XK_Escape, 0);

    enable({kCancel});
    ASSERT_TRUE(isEnabled(kCancel));
    EXPECT_FALSE(other.grab(XK_Escape, 0)) << "Escape is free while enabled";
    ASSERT_EQ(run("xdotool key Escape"), 0);
    EXPECT_TRUE(runMainUntil([&] { return cancels == 1; }));

    disable({kCancel});
    EXPECT_TRUE(other.grab(XK_Escape, 0));
    other.ungrab(XK_Escape, 0);
}

TEST_F(X11HotKeysTest, AGrabHeldByAnotherClientIsReportedAndLogged) {
    std::vector<std::string> logged;
    platform::SystemLog::setSink([&](platform::LogLevel level, const std::string&, const std::string&,
                                     const std::string& message) {
        if (level == platform::LogLevel::error) logged.push_back(message);
    });
    std::vector<platform::input::RegistrationStatus> reported;
    auto connection = registrationDidFail().connect(
        [&](const Shortcut&, const platform::input::RegistrationResult& r) { reported.push_back(r.status); });

    OtherClient other;
    ASSERT_TRUE(other.display());
    ASSERT_TRUE(other.grab(XK_space, Mod1Mask));
    onKeyDown(kToggle, [] {});
    platform::SystemLog::setSink({});

    EXPECT_FALSE(isEnabled(kToggle));
    ASSERT_EQ(reported.size(), 1u);
    EXPECT_EQ(reported[0], platform::input::RegistrationStatus::takenByAnotherClient);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("tecla 49"), std::string::npos) << logged[0];

    // Once the other client lets go, enabling the name takes the key.
    other.ungrab(XK_space, Mod1Mask);
    enable({kToggle});
    EXPECT_TRUE(isEnabled(kToggle));
    EXPECT_FALSE(other.grab(XK_space, Mod1Mask));
}

TEST(X11KeyLayout, NamesKeysFromTheServerLayout) {
    if (!hasDisplay())
        GTEST_FAIL() << "needs an X server: run it inside tests/desktop/session.sh, as ctest does";
    DisplayKeeper keeper;
    ASSERT_TRUE(keeper.display);
    platform::input::X11KeyLayout layout;
    EXPECT_EQ(layout.characters(Key::a.rawValue), "a");
    EXPECT_EQ(layout.characters(Key::slash.rawValue), "/");
    EXPECT_EQ(layout.characters(Key::space.rawValue), " ");
    EXPECT_FALSE(layout.characters(Key::function.rawValue));
}

}  // namespace
}  // namespace GlobalKeyBindings
