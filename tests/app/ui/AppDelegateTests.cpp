#include <gtest/gtest.h>

#include "app/App/AppDelegate.hpp"

#include <QEventLoop>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include "app/Transcription/fake/FakeTranscriber.hpp"
#include "platform/audio/fake/FakeAudioSystem.hpp"
#include "platform/audio/fake/FakeSystemSounds.hpp"
#include "platform/desktop/NoUpdateService.hpp"
#include "platform/desktop/fake/FakeApplicationMenuEntry.hpp"
#include "platform/desktop/fake/FakeLoginItem.hpp"
#include "platform/desktop/fake/FakeNotifier.hpp"
#include "platform/desktop/fake/FakePowerAssertion.hpp"
#include "platform/desktop/fake/FakeSystemSettings.hpp"
#include "platform/desktop/fake/FakeUpdateService.hpp"
#include "platform/desktop/fake/FakeWindowScreenshot.hpp"
#include "platform/foundation/fake/InMemoryUserDefaults.hpp"
#include "platform/input/fake/FakeHotKeyService.hpp"
#include "platform/input/fake/FixedUSKeyLayout.hpp"
#include "tests/app/AppTestSupport.hpp"
#include "tests/app/Dictation/DictationFixture.hpp"
#include "tests/app/Interface/InterfaceTestSupport.hpp"
#include "tests/app/Interface/WindowTestSupport.hpp"
#include "tests/app/ui/QtTestSupport.hpp"

namespace Parlox {
namespace {

using dictation_test::FakeDesktop;
using dictation_test::kOption;
using dictation_test::kSpace;
using dictation_test::LogCapture;

class AppDelegateTest : public ::testing::Test {
protected:
    AppDelegateTest() {
        ui_test::application();
        previous = platform::UserDefaults::setStandard(defaults);
    }
    ~AppDelegateTest() override {
        delegate.reset();
        GlobalKeyBindings::uninstall();
        platform::UserDefaults::setStandard(previous);
    }

    AppDelegate& launch(const std::vector<std::string>& arguments, bool atLogin = false) {
        delegate.reset();
        delegate = std::make_unique<AppDelegate>(services());
        delegate->applicationDidFinishLaunching(arguments, atLogin);
        desktop.scheduler->settle();
        QCoreApplication::processEvents();
        return *delegate;
    }

    // The windows the application shows.
    std::vector<std::string> openWindows() {
        std::vector<std::string> open;
        if (delegate->welcomeWindow() && delegate->welcomeWindow()->isVisible()) open.push_back("welcome");
        if (delegate->settingsWindow() && delegate->settingsWindow()->isVisible())
            open.push_back("settings " + delegate->settingsTabs().tab().rawValue());
        return open;
    }

    AppServices services() {
        return {desktop.services(),
                std::make_shared<platform::desktop::FakeWindowScreenshot>(),
                std::make_shared<platform::audio::FakeAudioSystem>(),
                std::make_shared<platform::audio::FakeSystemSounds>(),
                transcriber,
                updateService ? updateService : updates,
                std::make_shared<platform::desktop::FakeNotifier>(),
                loginItem,
                power,
                std::make_shared<platform::desktop::FakeSystemSettings>(),
                {defaults, hotKeys, std::make_shared<platform::input::FixedUSKeyLayout>(), nullptr},
                std::make_shared<interface_test::FakeWriterChecker>(),
                menuEntry,
                [this] { return trayAvailable; }};
    }

    // Runs the event loop until the application quits, or 10 s pass (then false).
    bool quitsWithin10Seconds() {
        bool timedOut = false;
        QTimer cap;
        cap.setSingleShot(true);
        QObject::connect(&cap, &QTimer::timeout, [&timedOut] {
            timedOut = true;
            QCoreApplication::exit(1);
        });
        cap.start(10000);
        const int status = QApplication::exec();
        return !timedOut && status == 0;
    }

    // The visible top-level windows that are message boxes, by their text
    // and, after " · ", their buttons.
    static std::vector<std::string> messages(bool withButtons = false) {
        std::vector<std::string> texts;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
                std::string text = box->text().toStdString() + " / " + box->informativeText().toStdString();
                if (withButtons)
                    for (QAbstractButton* button : box->buttons()) text += " · " + button->text().toStdString();
                texts.push_back(text);
            }
        return texts;
    }

    app_test::Sandbox box;
    std::shared_ptr<platform::InMemoryUserDefaults> defaults = std::make_shared<platform::InMemoryUserDefaults>();
    std::shared_ptr<platform::UserDefaults> previous;
    FakeDesktop desktop;
    std::shared_ptr<FakeTranscriber> transcriber = std::make_shared<FakeTranscriber>();
    std::shared_ptr<platform::desktop::FakeUpdateService> updates =
        std::make_shared<platform::desktop::FakeUpdateService>();
    std::shared_ptr<platform::input::FakeHotKeyService> hotKeys = std::make_shared<platform::input::FakeHotKeyService>();
    std::shared_ptr<platform::desktop::FakeLoginItem> loginItem = std::make_shared<platform::desktop::FakeLoginItem>();
    std::shared_ptr<platform::desktop::FakePowerAssertion> power =
        std::make_shared<platform::desktop::FakePowerAssertion>();
    std::shared_ptr<platform::desktop::UpdateService> updateService;  // `updates` when none
    std::shared_ptr<platform::desktop::FakeApplicationMenuEntry> menuEntry =
        std::make_shared<platform::desktop::FakeApplicationMenuEntry>();
    bool trayAvailable = true;
    LogCapture log;
    std::unique_ptr<AppDelegate> delegate;
};

TEST_F(AppDelegateTest, LaunchOpensTheWindowTheSituationAsksFor) {
    struct LaunchCase {
        const char* name;
        std::vector<std::string> arguments;
        nlohmann::json settings;
        bool atLogin;
        std::vector<std::string> opened;
        bool tray = true;
    };
    const LaunchCase cases[] = {
        {"first run", {}, nlohmann::json::object(), false, {"welcome"}},
        {"set up", {}, {{"hasFinishedSetup", true}}, false, {}},
        {"icon hidden, by hand", {}, {{"hasFinishedSetup", true}, {"showsMenuBarIcon", false}}, false,
         {"settings general"}},
        {"icon hidden, at login", {}, {{"hasFinishedSetup", true}, {"showsMenuBarIcon", false}}, true, {}},
        // Without a tray the icon cannot show: as if it were hidden.
        {"no tray, by hand", {}, {{"hasFinishedSetup", true}}, false, {"settings general"}, false},
        {"no tray, at login", {}, {{"hasFinishedSetup", true}}, true, {}, false},
        {"settings on a tab", {"--show-settings", "voice"}, {{"hasFinishedSetup", true}}, false, {"settings voice"}},
        {"a word that is no tab", {"--show-settings", "sonido"}, {{"hasFinishedSetup", true}}, false,
         {"settings general"}},
        {"welcome again", {"--show-welcome"}, {{"hasFinishedSetup", true}}, false, {"welcome"}},
        {"demo opens no window", {"--demo-overlay"}, nlohmann::json::object(), false, {}},
    };
    for (const LaunchCase& c : cases) {
        const nlohmann::json stored = defaults->dictionaryRepresentation();
        for (const auto& [key, value] : stored.items()) defaults->remove(key);
        for (const auto& [key, value] : c.settings.items()) defaults->set(key, value);
        trayAvailable = c.tray;
        launch(c.arguments, c.atLogin);
        EXPECT_EQ(openWindows(), c.opened) << c.name;
    }
}

TEST_F(AppDelegateTest, LaunchSequenceLogsLoadsTheModelAndTakesTheHotKey) {
    defaults->set("hasFinishedSetup", true);
    AppDelegate& app = launch({});
    EXPECT_TRUE(log.contains(std::string("Parlox arranca \u00B7 ") + AppDelegate::version()));
    EXPECT_EQ(transcriber->prepares(), 1);
    // Only the dictation shortcut (Alt+Space here) is taken at rest.
    EXPECT_EQ(hotKeys->registeredCount(), 1u);
    EXPECT_TRUE(hotKeys->isRegistered(kSpace, kOption));
    EXPECT_FALSE(app.updater().isBusy());
    EXPECT_TRUE(app.menuBar().isPresent());

    // The tray icon follows the setting live.
    defaults->set("showsMenuBarIcon", false);
    desktop.scheduler->settle();
    EXPECT_FALSE(app.menuBar().isPresent());
    defaults->set("showsMenuBarIcon", true);
    desktop.scheduler->settle();
    EXPECT_TRUE(app.menuBar().isPresent());
}

TEST_F(AppDelegateTest, ReopenShowsTheSettingsAndTheUpdateItemIsAddedOnce) {
    defaults->set("hasFinishedSetup", true);
    AppDelegate& app = launch({});
    app.applicationShouldHandleReopen();
    QCoreApplication::processEvents();
    EXPECT_EQ(openWindows(), std::vector<std::string>{"settings general"});
    EXPECT_TRUE(log.contains("Ajustes abiertos"));
    // Opened again, the same window comes forward.
    QMainWindow* window = app.settingsWindow();
    app.showSettings("voice");
    EXPECT_EQ(app.settingsWindow(), window);
    EXPECT_EQ(openWindows(), std::vector<std::string>{"settings voice"});

    app.addUpdatesToAppMenu();
    app.addUpdatesToAppMenu();
    ASSERT_EQ(app.trayMenu().actions().size(), 1);
    EXPECT_EQ(app.trayMenu().actions()[0]->text(), "Buscar actualizaciones\u2026");
    app.trayMenu().actions()[0]->trigger();
    EXPECT_EQ(updates->checks, 1);
}

TEST_F(AppDelegateTest, ClosingTheWelcomeWindowFinishesTheSetup) {
    AppDelegate& app = launch({});
    ASSERT_EQ(openWindows(), std::vector<std::string>{"welcome"});
    EXPECT_FALSE(defaults->boolean("hasFinishedSetup"));
    app.welcomeWindow()->close();
    QCoreApplication::processEvents();
    EXPECT_TRUE(defaults->boolean("hasFinishedSetup"));
    EXPECT_EQ(app.welcomeWindow(), nullptr);
    // The next launch opens nothing while the icon is shown.
    launch({});
    EXPECT_TRUE(openWindows().empty());
}

TEST_F(AppDelegateTest, QuittingDuringTheFirstRunLeavesTheSetupUnfinished) {
    AppDelegate& app = launch({});
    ASSERT_EQ(openWindows(), std::vector<std::string>{"welcome"});
    // "Salir de Parlox" while the welcome window is open: the event loop
    // closes the windows as it ends, which is no answer of the user's.
    QTimer::singleShot(0, &app, [&app] { app.quit(); });
    QApplication::exec();
    EXPECT_FALSE(defaults->boolean("hasFinishedSetup"));
    launch({});
    EXPECT_EQ(openWindows(), std::vector<std::string>{"welcome"});
}

// With the tray icon hidden the windows are the way out, and the settings say how.
TEST_F(AppDelegateTest, CtrlQQuitsFromTheWelcomeAndTheSettingsWindow) {
    const std::pair<const char*, std::vector<std::string>> windows[] = {{"welcome", {"--show-welcome"}},
                                                                        {"settings", {"--show-settings"}}};
    defaults->set("showsMenuBarIcon", false);
    for (const auto& [name, arguments] : windows) {
        AppDelegate& app = launch(arguments);
        QWidget* window = std::string(name) == "welcome" ? app.welcomeWindow() : app.settingsWindow();
        ASSERT_NE(window, nullptr) << name;
        if (window == app.settingsWindow()) {
            const QStringList texts = interface_test::textsIn(*window);
            EXPECT_FALSE(texts.filter("Para salir, Ctrl+Q con esta ventana delante.").isEmpty())
                << texts.join('\n').toStdString();
        }
        QTimer::singleShot(0, window, [window] { QTest::keyClick(window, Qt::Key_Q, Qt::ControlModifier); });
        EXPECT_TRUE(quitsWithin10Seconds()) << name;
    }
}

// A quit ends the loop that runs and leaves nothing behind: no request to
// quit waits for a later loop (a message box's, another test's) to obey.
TEST_F(AppDelegateTest, AQuitEndsOnlyTheLoopThatWasRunning) {
    AppDelegate& app = launch({"--show-settings"});
    ASSERT_NE(app.settingsWindow(), nullptr);
    QTimer::singleShot(0, &app, [&app] { app.quit(); });
    ASSERT_EQ(QApplication::exec(), 0);
    QCoreApplication::processEvents();
    QEventLoop later;
    QTimer::singleShot(0, &later, [&later] { later.exit(7); });
    EXPECT_EQ(later.exec(), 7);
}

TEST_F(AppDelegateTest, EveryLaunchPutsParloxInTheApplicationMenu) {
    defaults->set("hasFinishedSetup", true);
    launch({});
    EXPECT_EQ(menuEntry->installs, 1);
    launch({});
    EXPECT_EQ(menuEntry->installs, 2);
    menuEntry->refuse = true;
    launch({});
    EXPECT_TRUE(log.contains("No he podido poner Parlox en el menú de aplicaciones: "
                             "could not write the file: the menu entry cannot be written"));
}

// Without an update service nothing is looked for, and each way of asking says so.
TEST_F(AppDelegateTest, WithoutAnUpdateServiceTheCheckSaysSoAndNothingClaimsIt) {
    updateService = std::make_shared<platform::desktop::NoUpdateService>();
    defaults->set("hasFinishedSetup", true);
    AppDelegate& app = launch({"--show-settings"});
    const std::string answer = std::string("Parlox no se actualiza sola / Esta es la versión ") +
                               AppDelegate::version() + ". Para tener una más nueva, instálala como instalaste esta.";

    ASSERT_EQ(app.trayMenu().actions().size(), 1);
    app.trayMenu().actions()[0]->trigger();
    QCoreApplication::processEvents();
    EXPECT_EQ(messages(true), std::vector<std::string>{answer + " · Aceptar"});

    QPushButton* check = nullptr;
    for (QPushButton* button : app.settingsWindow()->findChildren<QPushButton*>())
        if (button->text() == "Buscar actualizaciones") check = button;
    ASSERT_NE(check, nullptr);
    check->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(messages(), std::vector<std::string>{answer});  // the same answer, once

    const QStringList texts = interface_test::textsIn(*app.settingsWindow());
    EXPECT_TRUE(texts.contains("Parlox no se actualiza sola: para tener una versión nueva, instálala como instalaste "
                               "esta."));
    for (const QString& text : texts) EXPECT_FALSE(text.contains("cada pocas horas")) << text.toStdString();
    EXPECT_TRUE(log.contains(
        "Actualizaciones: no hay servicio de actualizaciones, no se ha buscado ninguna versión nueva"));
    EXPECT_FALSE(log.contains("Actualizaciones: no hay ninguna versión nueva"));
}

TEST_F(AppDelegateTest, FirstLaunchRegistersTheLoginItemOnlyOnce) {
    defaults->set("hasFinishedSetup", true);
    launch({});
    EXPECT_TRUE(loginItem->enabled);
    EXPECT_TRUE(defaults->boolean("hasAskedForLoginItem"));
    // The user turned it off; the next launch leaves it off.
    loginItem->enabled = false;
    launch({});
    EXPECT_FALSE(loginItem->enabled);
    EXPECT_EQ(loginItem->changes, 1);
}

TEST_F(AppDelegateTest, KeepAwakeIsThereLockedAndOffUntilUnlocked) {
    defaults->set("hasFinishedSetup", true);
    AppDelegate& app = launch({});
    ASSERT_NE(app.keepAwake, nullptr);
    EXPECT_FALSE(app.keepAwake->isUnlocked());
    EXPECT_FALSE(app.keepAwake->isOn());
    app.keepAwake->setUnlocked(true);
    app.keepAwake->set(true);
    EXPECT_TRUE(app.keepAwake->isOn());
    EXPECT_TRUE(defaults->boolean("keepAwakeUnlocked"));
    EXPECT_TRUE(log.contains("Mantener despierto: activado"));
    // Locking it again switches it off.
    app.keepAwake->setUnlocked(false);
    EXPECT_FALSE(app.keepAwake->isOn());
}

TEST_F(AppDelegateTest, DemoWalksTheApplicationsOwnIndicator) {
    AppDelegate& app = launch({"--demo-overlay"});
    EXPECT_TRUE(app.overlay().isOnScreen());
    EXPECT_EQ(app.overlay().model().state(), OverlayModel::State::recording());
    desktop.scheduler->advance(30);
    EXPECT_EQ(app.overlay().model().state(), OverlayModel::State::hidden());
    EXPECT_FALSE(app.overlay().isOnScreen());
    EXPECT_TRUE(log.contains("Demo del indicador terminada"));
}

}  // namespace
}  // namespace Parlox
