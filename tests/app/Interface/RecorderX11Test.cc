#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QVBoxLayout>
#include <QWidget>

#include "GlobalKeyBindings/GlobalKeyBindings.hpp"
#include "GlobalKeyBindings/Localization.hpp"
#include "app/App/QtMainQueue.hpp"
#include "app/Interface/Recorder.hpp"
#include "platform/foundation/fake/InMemoryUserDefaults.hpp"
#include "platform/input/X11HotKeyService.hpp"
#include "platform/input/X11KeyLayout.hpp"
#include "tests/app/Interface/XcbTestSupport.hpp"

// Named before Xlib's macro of the same name hides it.
static constexpr QEvent::Type kKeyPress = QEvent::KeyPress;

// Last: Xlib's macros would spoil the Qt headers.
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace GlobalKeyBindings {
namespace {

using Json = nlohmann::json;
const Name kToggle("toggleRecording", Shortcut(Key::space, ModifierFlags::option));
const Json kCtrlAltK = Json(R"({"carbonKeyCode":40,"carbonModifiers":6144})");

bool runUntil(const std::function<bool()>& done, int milliseconds = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > milliseconds) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

int xdotool(const std::string& arguments) { return std::system(("xdotool " + arguments).c_str()); }

// Counts the presses of one key combination that reach this application's
// windows while it lives: a combination a hot key holds never gets there.
class KeyArrivals : public QObject {
public:
    KeyArrivals(int key, Qt::KeyboardModifiers modifiers) : key_(key), modifiers_(modifiers) {
        QApplication::instance()->installEventFilter(this);
    }
    ~KeyArrivals() override { QApplication::instance()->removeEventFilter(this); }

    int count() const { return count_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == kKeyPress) {
            const auto* press = static_cast<QKeyEvent*>(event);
            if (press->key() == key_ && press->modifiers() == modifiers_) ++count_;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    int key_;
    Qt::KeyboardModifiers modifiers_;
    int count_ = 0;
};

// Another application holding a key combination, as a window manager does.
class OtherClient {
public:
    OtherClient() : display_(XOpenDisplay(nullptr)) {}
    ~OtherClient() {
        if (display_) XCloseDisplay(display_);
    }
    void grab(KeySym sym, unsigned modifiers) {
        XGrabKey(display_, XKeysymToKeycode(display_, sym), modifiers, DefaultRootWindow(display_), False,
                 GrabModeAsync, GrabModeAsync);
        XSync(display_, False);
    }
    bool valid() const { return display_ != nullptr; }

private:
    Display* display_;
};

// The recorder in a real window on the X server, the hot keys on the same
// server, keys typed by xdotool.
class RecorderX11Test : public ::testing::Test {
protected:
    void SetUp() override {
        if (!interface_test::hasDisplay()) GTEST_FAIL() << "needs an X server: run it inside tests/desktop/session.sh, as ctest does";
        interface_test::xcbApplication();
        queue = std::make_unique<Parlox::QtMainQueue>();
        install({defaults, std::make_shared<platform::input::X11HotKeyService>(),
                 std::make_shared<platform::input::X11KeyLayout>(), nullptr});
        declare(kToggle);
        onKeyDown(kToggle, [this] { ++fired; });
        RecorderField::setAlertPresenter([this](QWidget*, const RecorderControl::Alert& alert) {
            alerts.push_back(alert);
            return 0;
        });
        window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window.get());
        recorder = new Recorder(kToggle, {}, window.get());
        layout->addWidget(recorder);
        window->resize(300, 200);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(runUntil([this] { return window->isActiveWindow(); }));
    }
    void TearDown() override {
        window.reset();
        RecorderField::setAlertPresenter({});
        if (isInstalled()) uninstall();
        queue.reset();
    }

    // Focus by a click, as the user would.
    void startRecording() {
        RecorderField& field = recorder->field();
        // What the last ending queued (its focus change, the caret) settles
        // first, as it would before a user's next click.
        ASSERT_TRUE(runUntil([&] { return !field.hasFocus() && !field.control().isRecording(); }));
        QApplication::processEvents();
        const QPoint centre = field.mapToGlobal(field.rect().center());
        ASSERT_EQ(xdotool("mousemove " + std::to_string(centre.x()) + " " + std::to_string(centre.y()) + " click 1"),
                  0);
        ASSERT_TRUE(runUntil([&] { return field.control().isRecording(); }));
        ASSERT_TRUE(isPaused());
    }
    Json stored() { return defaults->object(userDefaultsKey(kToggle)).value_or(Json()); }

    std::shared_ptr<platform::InMemoryUserDefaults> defaults = std::make_shared<platform::InMemoryUserDefaults>();
    std::unique_ptr<Parlox::QtMainQueue> queue;
    std::unique_ptr<QWidget> window;
    Recorder* recorder = nullptr;
    std::vector<RecorderControl::Alert> alerts;
    int fired = 0;
};

TEST_F(RecorderX11Test, RecordsCtrlAltKFromTheKeyboardAndTheNewHotKeyFires) {
    startRecording();
    ASSERT_EQ(xdotool("key ctrl+alt+k"), 0);
    ASSERT_TRUE(runUntil([&] { return !recorder->field().control().isRecording(); }));
    EXPECT_EQ(stored(), kCtrlAltK);
    EXPECT_EQ(recorder->field().text().toStdString(), "Ctrl+Alt+K");
    EXPECT_FALSE(isPaused());
    EXPECT_EQ(fired, 0);

    // Recording is over: the same keys now reach the global hot key.
    ASSERT_TRUE(isEnabled(kToggle));
    ASSERT_EQ(xdotool("key ctrl+alt+k"), 0);
    EXPECT_TRUE(runUntil([&] { return fired == 1; }));
}

TEST_F(RecorderX11Test, TheKeysTheFieldNamesAreTheKeysThatFire) {
    // A shortcut stored with the Command modifier, as settings written on the other desktop hold it.
    setShortcut(Shortcut(Key::k, ModifierFlags::command), kToggle);
    EXPECT_EQ(recorder->field().text().toStdString(), "Super+K");
    ASSERT_TRUE(isEnabled(kToggle));
    // Ctrl+K reaches the window: no hot key took it on the way.
    KeyArrivals controlK(Qt::Key_K, Qt::ControlModifier);
    ASSERT_EQ(xdotool("key ctrl+k"), 0);
    ASSERT_TRUE(runUntil([&] { return controlK.count() > 0; })) << "Ctrl+K never reached the window";
    EXPECT_EQ(fired, 0);
    ASSERT_EQ(xdotool("key super+k"), 0);
    ASSERT_TRUE(runUntil([&] { return fired >= 1; }));
    QApplication::processEvents();
    EXPECT_EQ(fired, 1);
}

TEST_F(RecorderX11Test, WhileRecordingTheKeysReachTheFieldEvenWhenAnotherClientHoldsThem) {
    OtherClient other;
    ASSERT_TRUE(other.valid());
    other.grab(XK_j, ControlMask | Mod1Mask);
    startRecording();
    ASSERT_EQ(xdotool("key ctrl+alt+j"), 0);
    ASSERT_TRUE(runUntil([&] { return !recorder->field().control().isRecording(); }));
    EXPECT_EQ(stored(), Json(R"({"carbonKeyCode":38,"carbonModifiers":6144})"));
}

TEST_F(RecorderX11Test, EscapeCancelsAndARefusedCombinationStoresNothing) {
    startRecording();
    ASSERT_EQ(xdotool("key Escape"), 0);
    ASSERT_TRUE(runUntil([&] { return !recorder->field().control().isRecording(); }));
    EXPECT_FALSE(isPaused());
    EXPECT_EQ(stored(), Json(R"({"carbonKeyCode":49,"carbonModifiers":2048})"));

    // A click well away from the field ends the recording; the window keeps no focus on it.
    startRecording();
    const QPoint away = window->mapToGlobal(QPoint(window->width() - 5, window->height() - 5));
    ASSERT_EQ(xdotool("mousemove " + std::to_string(away.x()) + " " + std::to_string(away.y()) + " click 1"), 0);
    ASSERT_TRUE(runUntil([&] { return !recorder->field().control().isRecording(); }));
    EXPECT_FALSE(isPaused());

    auto* action = new QAction(QStringLiteral("Buscar"), window.get());
    action->setShortcut(QKeySequence(Qt::ControlModifier | Qt::AltModifier | Qt::Key_K));
    window->addAction(action);
    startRecording();
    ASSERT_EQ(xdotool("key ctrl+alt+k"), 0);
    ASSERT_TRUE(runUntil([&] { return alerts.size() == 1; }));
    EXPECT_EQ(alerts[0].title, localizedFormat("keyboard_shortcut_used_by_menu_item", "Buscar"));
    EXPECT_EQ(stored(), Json(R"({"carbonKeyCode":49,"carbonModifiers":2048})"));
}

}  // namespace
}  // namespace GlobalKeyBindings
