#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include "GlobalKeyBindings/GlobalKeyBindings.hpp"
#include "GlobalKeyBindings/Localization.hpp"
#include "app/Interface/QtKeys.hpp"
#include "app/Interface/Recorder.hpp"
#include "platform/concurrency/MainRunLoop.hpp"
#include "platform/foundation/fake/InMemoryUserDefaults.hpp"
#include "platform/input/fake/FakeHotKeyService.hpp"
#include "platform/input/fake/FakeSystemShortcuts.hpp"
#include "platform/input/fake/FixedUSKeyLayout.hpp"
#include "tests/app/ui/QtTestSupport.hpp"

namespace GlobalKeyBindings {
namespace {

using Json = nlohmann::json;
const Shortcut kOptionSpace{Key::space, ModifierFlags::option};
const Name kToggle("toggleRecording", kOptionSpace);

// A window with the recorder first in the focus chain and a plain field after it.
class RecorderFieldTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui_test::application();
        platform::MainQueue::shared().bindToCurrentThread();
        install(Environment{defaults, std::make_shared<platform::input::FakeHotKeyService>(),
                            std::make_shared<platform::input::FixedUSKeyLayout>(), system});
        declare(kToggle);
        RecorderField::setAlertPresenter([this](QWidget*, const RecorderControl::Alert& alert) {
            alerts.push_back(alert);
            return alertAnswer;
        });
        window = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(window.get());
        recorder = new Recorder(kToggle, {}, window.get());
        other = new QLineEdit(window.get());
        layout->addWidget(recorder);
        layout->addWidget(other);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    void TearDown() override {
        window.reset();
        RecorderField::setAlertPresenter({});
        uninstall();
        platform::MainRunLoop::drainMain();
    }

    RecorderField& field() { return recorder->field(); }
    void startRecording() {
        QTest::mouseClick(&field(), Qt::LeftButton);
        QTest::qWait(10);
        ASSERT_TRUE(field().control().isRecording());
    }
    Json stored() { return defaults->object(userDefaultsKey(kToggle)).value_or(Json()); }

    std::shared_ptr<platform::InMemoryUserDefaults> defaults = std::make_shared<platform::InMemoryUserDefaults>();
    std::shared_ptr<platform::input::FakeSystemShortcuts> system =
        std::make_shared<platform::input::FakeSystemShortcuts>();
    std::unique_ptr<QWidget> window;
    Recorder* recorder = nullptr;
    QLineEdit* other = nullptr;
    std::vector<RecorderControl::Alert> alerts;
    int alertAnswer = 0;
};

TEST_F(RecorderFieldTest, AShownWindowDoesNotStartRecordingByItself) {
    EXPECT_FALSE(field().hasFocus());
    EXPECT_FALSE(isPaused());
    EXPECT_EQ(field().text().toStdString(), "Alt+Espacio");
    EXPECT_EQ(field().placeholderText().toStdString(), localizedString("record_shortcut"));
    EXPECT_EQ(field().sizeHint().width(), 130);
}

// The window manager hands over the activation and the click that caused
// it together: the click still reaches the field.
TEST_F(RecorderFieldTest, TheClickThatActivatesTheWindowRecords) {
    QEvent activation(QEvent::WindowActivate);
    QApplication::sendEvent(window.get(), &activation);
    QTest::mouseClick(&field(), Qt::LeftButton);
    EXPECT_TRUE(field().control().isRecording());
    EXPECT_TRUE(isPaused());
}

TEST_F(RecorderFieldTest, AClickRecordsTheNextCombination) {
    ASSERT_NO_FATAL_FAILURE(startRecording());
    EXPECT_TRUE(isPaused());
    EXPECT_EQ(field().placeholderText().toStdString(), localizedString("press_shortcut"));

    QTest::keyClick(&field(), Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
    QTest::qWait(10);
    EXPECT_EQ(stored(), Json(R"({"carbonKeyCode":40,"carbonModifiers":6144})"));
    EXPECT_EQ(field().text().toStdString(), "Ctrl+Alt+K");
    EXPECT_FALSE(field().control().isRecording());
    EXPECT_FALSE(isPaused());
    EXPECT_FALSE(field().hasFocus());
}

TEST_F(RecorderFieldTest, EscapeCancelsAndTabMovesOn) {
    ASSERT_NO_FATAL_FAILURE(startRecording());
    QTest::keyClick(&field(), Qt::Key_Escape);
    QTest::qWait(10);
    EXPECT_FALSE(field().control().isRecording());
    EXPECT_EQ(stored(), Json(encodeShortcut(kOptionSpace)));

    ASSERT_NO_FATAL_FAILURE(startRecording());
    QTest::keyClick(&field(), Qt::Key_Tab);
    QTest::qWait(10);
    EXPECT_FALSE(field().control().isRecording());
    EXPECT_TRUE(other->hasFocus());
    EXPECT_EQ(stored(), Json(encodeShortcut(kOptionSpace)));
}

TEST_F(RecorderFieldTest, ARefusedCombinationShowsItsAlertAndStoresNothing) {
    // An action of the window holds Ctrl+Alt+K; the key still reaches the recorder.
    auto* action = new QAction(QStringLiteral("&Buscar"), window.get());
    action->setShortcut(QKeySequence(Qt::ControlModifier | Qt::AltModifier | Qt::Key_K));
    window->addAction(action);
    int triggered = 0;
    QObject::connect(action, &QAction::triggered, [&] { ++triggered; });

    ASSERT_NO_FATAL_FAILURE(startRecording());
    QTest::keyClick(&field(), Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
    QTest::qWait(10);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].title, localizedFormat("keyboard_shortcut_used_by_menu_item", "Buscar"));
    EXPECT_TRUE(alerts[0].buttons.empty());
    EXPECT_EQ(triggered, 0);
    EXPECT_EQ(stored(), Json(encodeShortcut(kOptionSpace)));
    // After the alert the field records anew.
    EXPECT_TRUE(field().control().isRecording());

    // A desktop shortcut asks; the first button keeps the old one.
    system->shortcuts = {{int(Key::j.rawValue), 0x1000 | 0x800}};
    QTest::keyClick(&field(), Qt::Key_J, Qt::ControlModifier | Qt::AltModifier);
    QTest::qWait(10);
    ASSERT_EQ(alerts.size(), 2u);
    EXPECT_EQ(alerts[1].title, localizedString("keyboard_shortcut_used_by_system"));
    EXPECT_EQ(alerts[1].buttons,
              (std::vector<std::string>{localizedString("ok"), localizedString("force_use_shortcut")}));
    EXPECT_EQ(stored(), Json(encodeShortcut(kOptionSpace)));

    alertAnswer = 1;
    QTest::keyClick(&field(), Qt::Key_J, Qt::ControlModifier | Qt::AltModifier);
    QTest::qWait(10);
    EXPECT_EQ(stored(), Json(R"({"carbonKeyCode":38,"carbonModifiers":6144})"));
}

TEST_F(RecorderFieldTest, DeleteClearsAndAFarClickEnds) {
    ASSERT_NO_FATAL_FAILURE(startRecording());
    QTest::keyClick(&field(), Qt::Key_Backspace);
    QTest::qWait(10);
    EXPECT_EQ(stored(), Json(false));
    EXPECT_EQ(field().text(), QString());
    EXPECT_TRUE(field().control().isRecording());

    QTest::mouseClick(other, Qt::LeftButton);
    QTest::qWait(10);
    EXPECT_FALSE(field().control().isRecording());
    EXPECT_FALSE(isPaused());
}

TEST_F(RecorderFieldTest, ABindingSourceTakesTheValueBeforeTheCallback) {
    std::optional<Shortcut> value;
    std::vector<std::string> order;
    auto* bound = new Recorder(
        QStringLiteral("Atajo"),
        Recorder::Binding{[&] { return value; },
                          [&](const std::optional<Shortcut>& s) {
                              value = s;
                              order.push_back("binding");
                          }},
        [&](const std::optional<Shortcut>& s) { order.push_back(s == value ? "callback after" : "callback before"); },
        window.get());
    window->layout()->addWidget(bound);
    bound->show();
    QTest::qWait(10);
    ASSERT_TRUE(bound->hasLabel());
    EXPECT_EQ(bound->label()->text(), QStringLiteral("Atajo"));
    QTest::mouseClick(&bound->field(), Qt::LeftButton);
    QTest::keyClick(&bound->field(), Qt::Key_F5);
    QTest::qWait(10);
    EXPECT_EQ(value, Shortcut(Key::f5, ModifierFlags()));
    EXPECT_EQ(order, (std::vector<std::string>{"binding", "callback after"}));
    EXPECT_EQ(stored(), Json(encodeShortcut(kOptionSpace)));

    value = Shortcut(Key::k, ModifierFlags::command);
    bound->update();
    EXPECT_EQ(bound->field().text().toStdString(), "Super+K");
    EXPECT_EQ(order.size(), 2u);
}

// The toolkit's keys and the stored ones, both ways.
TEST(QtKeys, KeysAndModifiersMapBothWays) {
    struct Row {
        int qt;
        bool keypad;
        Key key;
    };
    const Row rows[] = {{Qt::Key_K, false, Key::k},        {Qt::Key_Space, false, Key::space},
                        {Qt::Key_F5, false, Key::f5},      {Qt::Key_F20, false, Key::f20},
                        {Qt::Key_Backspace, false, Key::delete_}, {Qt::Key_Delete, false, Key::deleteForward},
                        {Qt::Key_5, true, Key::keypad5},   {Qt::Key_Enter, false, Key::keypadEnter},
                        {Qt::Key_Backtab, false, Key::tab}, {Qt::Key_QuoteLeft, false, Key::backtick}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.qt);
        EXPECT_EQ(QtKeys::key(row.qt, row.keypad), row.key);
    }
    EXPECT_FALSE(QtKeys::key(Qt::Key_Launch0, false));
    EXPECT_EQ(QtKeys::modifierFlags(Qt::ControlModifier | Qt::MetaModifier),
              ModifierFlags::control | ModifierFlags::command);
    EXPECT_EQ(QtKeys::keySequence(Shortcut(Key::k, ModifierFlags::control | ModifierFlags::option)),
              QKeySequence(Qt::ControlModifier | Qt::AltModifier | Qt::Key_K));
    EXPECT_EQ(QtKeys::keySequence(Shortcut(Key::keypadEnter, ModifierFlags())),
              QKeySequence(Qt::KeypadModifier | Qt::Key_Enter));
    EXPECT_EQ(QtKeys::shortcut(QKeyCombination(Qt::KeypadModifier | Qt::ShiftModifier, Qt::Key_5)),
              Shortcut(Key::keypad5, ModifierFlags::shift));
}

}  // namespace
}  // namespace GlobalKeyBindings
