#include <gtest/gtest.h>

#include <QAction>
#include <QTest>

#include "GlobalKeyBindings/GlobalKeyBindings.hpp"
#include "GlobalKeyBindings/RecorderControl.hpp"
#include "app/Interface/GlobalShortcutModifier.hpp"
#include "app/Interface/MenuItemShortcut.hpp"
#include "platform/concurrency/MainRunLoop.hpp"
#include "platform/foundation/fake/InMemoryUserDefaults.hpp"
#include "platform/input/fake/FakeHotKeyService.hpp"
#include "platform/input/fake/FixedUSKeyLayout.hpp"
#include "tests/app/ui/QtTestSupport.hpp"

namespace GlobalKeyBindings {
namespace {

const Name kPaste("paste");
const Name kOther("other");
const Shortcut kCtrlK(Key::k, ModifierFlags::control);
const QKeySequence kCommandQ(Qt::MetaModifier | Qt::Key_Q);

class MenuShortcutTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui_test::application();
        platform::MainQueue::shared().bindToCurrentThread();
        install({defaults, service, std::make_shared<platform::input::FixedUSKeyLayout>(), nullptr});
    }
    void TearDown() override {
        uninstall();
        platform::MainRunLoop::drainMain();
    }

    std::shared_ptr<platform::InMemoryUserDefaults> defaults = std::make_shared<platform::InMemoryUserDefaults>();
    std::shared_ptr<platform::input::FakeHotKeyService> service =
        std::make_shared<platform::input::FakeHotKeyService>();
};

TEST_F(MenuShortcutTest, ABoundItemShowsTheNamesShortcutAndGetsItsOwnBack) {
    QAction item(QStringLiteral("Salir"));
    item.setShortcut(kCommandQ);
    setShortcut(item, std::optional<Name>(kPaste));
    EXPECT_EQ(item.shortcut(), kCommandQ);  // nothing stored yet

    setShortcut(kCtrlK, kPaste);
    EXPECT_EQ(item.shortcut(), QKeySequence(Qt::ControlModifier | Qt::Key_K));
    setShortcut(Shortcut(Key::j, ModifierFlags::control), kOther);
    EXPECT_EQ(item.shortcut(), QKeySequence(Qt::ControlModifier | Qt::Key_K));

    // A second binding keeps the key sequence from before the first.
    setShortcut(item, std::optional<Name>(kOther));
    EXPECT_EQ(item.shortcut(), QKeySequence(Qt::ControlModifier | Qt::Key_J));
    setShortcut(item, std::optional<Name>());
    EXPECT_EQ(item.shortcut(), kCommandQ);

    // A fixed shortcut ends the binding; keypad keys have no menu key.
    setShortcut(item, std::optional<Name>(kPaste));
    setShortcut(item, std::optional<Shortcut>(Shortcut(Key::keypadEnter, ModifierFlags())));
    EXPECT_TRUE(item.shortcut().isEmpty());
    setShortcut(Shortcut(Key::j, ModifierFlags::command), kPaste);
    EXPECT_TRUE(item.shortcut().isEmpty());
}

TEST_F(MenuShortcutTest, AnActionFollowsTheNameAndHasNoneWhileARecorderRecords) {
    QAction action(QStringLiteral("Dictar"));
    globalKeyboardShortcut(action, kPaste);
    EXPECT_TRUE(action.shortcut().isEmpty());
    setShortcut(kCtrlK, kPaste);
    EXPECT_EQ(action.shortcut(), QKeySequence(Qt::ControlModifier | Qt::Key_K));
    setShortcut(Shortcut(Key::j, ModifierFlags::control), kOther);
    EXPECT_EQ(action.shortcut(), QKeySequence(Qt::ControlModifier | Qt::Key_K));

    recorderActiveStatusDidChange().emit(true);
    EXPECT_TRUE(action.shortcut().isEmpty());
    recorderActiveStatusDidChange().emit(false);
    EXPECT_EQ(action.shortcut(), QKeySequence(Qt::ControlModifier | Qt::Key_K));
}

TEST_F(MenuShortcutTest, EventsOfTheNameReachTheOwnerWhileItLives) {
    setShortcut(kCtrlK, kPaste);
    std::vector<EventType> seen;
    int downs = 0;
    auto owner = std::make_unique<QObject>();
    onGlobalKeyboardShortcut(*owner, kPaste, [&](EventType type) { seen.push_back(type); });
    onGlobalKeyboardShortcut(*owner, kPaste, EventType::keyDown, [&] { ++downs; });
    ASSERT_TRUE(service->tap(int(kCtrlK.carbonKeyCode), int(kCtrlK.carbonModifiers)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return seen.size() == 2 && downs == 1; }, 2000));
    EXPECT_EQ(seen, (std::vector<EventType>{EventType::keyDown, EventType::keyUp}));

    owner.reset();
    platform::MainRunLoop::drainMain();
    EXPECT_FALSE(hasHotKey(kCtrlK));
}

}  // namespace
}  // namespace GlobalKeyBindings
