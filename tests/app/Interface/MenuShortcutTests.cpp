#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QStyleOptionMenuItem>
#include <QTest>

#include "GlobalKeyBindings/GlobalKeyBindings.hpp"
#include "GlobalKeyBindings/RecorderControl.hpp"
#include "app/Interface/GlobalShortcutModifier.hpp"
#include "app/Interface/MenuItemShortcut.hpp"
#include "app/Interface/QtKeys.hpp"
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

// What a menu draws for an item: its title and, after a tab, its keys.
class ShownMenu : public QMenu {
public:
    QString shown(QAction& action) {
        addAction(&action);
        QStyleOptionMenuItem option;
        initStyleOption(&option, &action);
        removeAction(&action);
        return option.text;
    }
};

TEST_F(MenuShortcutTest, MenusWriteTheShortcutAsThisDesktopDoes) {
    struct Row {
        Shortcut shortcut;
        const char* shown;
    };
    const Row rows[] = {
        {Shortcut(Key::space, ModifierFlags::option), "Dictar\tAlt+Espacio"},
        {Shortcut(Key::k, ModifierFlags::control | ModifierFlags::option), "Dictar\tCtrl+Alt+K"},
        {Shortcut(Key::k, ModifierFlags::command), "Dictar\tSuper+K"},
        {Shortcut(Key::q, ModifierFlags::control), "Dictar\tCtrl+Q"},
        {Shortcut(Key::d, ModifierFlags::command | ModifierFlags::shift | ModifierFlags::control),
         "Dictar\tCtrl+Mayús+Super+D"},
        {Shortcut(Key::return_, ModifierFlags::shift), "Dictar\tMayús+Intro"},
        {Shortcut(Key::leftArrow, ModifierFlags::control), "Dictar\tCtrl+Izquierda"},
    };
    ShownMenu menu;
    QAction bound(QStringLiteral("Dictar"));
    setShortcut(bound, std::optional<Name>(kPaste));
    QAction followed(QStringLiteral("Dictar"));
    globalKeyboardShortcut(followed, kPaste);
    QAction fixed(QStringLiteral("Dictar"));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.shown);
        setShortcut(row.shortcut, kPaste);
        EXPECT_EQ(menu.shown(bound).toStdString(), row.shown);
        EXPECT_EQ(menu.shown(followed).toStdString(), row.shown);
        setShortcut(fixed, std::optional<Shortcut>(row.shortcut));
        EXPECT_EQ(menu.shown(fixed).toStdString(), row.shown);
    }
    // A keypad key is no menu key equivalent, but an action's shortcut.
    setShortcut(Shortcut(Key::keypad5, ModifierFlags::control), kPaste);
    EXPECT_EQ(menu.shown(bound).toStdString(), "Dictar");
    EXPECT_EQ(menu.shown(followed).toStdString(), "Dictar\tCtrl+Num 5");

    // The item's own keys come back in the same form, and its title stays its own.
    QAction own(QStringLiteral("Salir"));
    own.setShortcut(kCommandQ);
    setShortcut(own, std::optional<Name>(kOther));
    EXPECT_EQ(menu.shown(own).toStdString(), "Salir\tSuper+Q");
    setShortcut(kCtrlK, kOther);
    EXPECT_EQ(menu.shown(own).toStdString(), "Salir\tCtrl+K");
    ASSERT_TRUE(QtKeys::menuItem(own));
    EXPECT_EQ(QtKeys::menuItem(own)->title, "Salir");
    setShortcut(own, std::optional<Name>());
    EXPECT_EQ(menu.shown(own).toStdString(), "Salir\tSuper+Q");
    EXPECT_EQ(own.shortcut(), kCommandQ);
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
