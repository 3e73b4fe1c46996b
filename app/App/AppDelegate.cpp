#include "app/App/AppDelegate.hpp"

#include <QApplication>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMessageBox>
#include <QScreen>
#include <QShortcut>
#include <QSystemTrayIcon>
#include <QTimer>

#include "app/Context/ScreenContext.hpp"
#include "app/Debug/OverlayDemo.hpp"
#include "app/Debug/PanelCapture.hpp"
#include "app/Interface/SettingsWindow.hpp"
#include "app/Interface/WindowParts.hpp"
#include "app/Interface/WelcomeWindow.hpp"
#include "app/Overlay/MenuBarLabel.hpp"
#include "app/Overlay/MenuBarPanel.hpp"
#include "app/Support/Log.hpp"
#include "app/System/ApplicationMenu.hpp"
#include "app/System/LoginItem.hpp"
#include "app/Support/SettingsStore.hpp"

namespace Parlox {
namespace {

constexpr const char* checkForUpdatesTitle = "Buscar actualizaciones\u2026";

// Runs `closed` when the window is closed by the user or by its own code,
// not when it goes with the application.
class CloseWatcher : public QObject {
public:
    CloseWatcher(QWidget* window, std::function<void()> closed) : QObject(window), closed_(std::move(closed)) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Close && closed_) closed_();
        return false;
    }

private:
    std::function<void()> closed_;
};

void raise(QWidget* window) {
    window->show();
    window->raise();
    window->activateWindow();
}

void centre(QWidget* window) {
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        window->move(area.center() - QPoint(window->width() / 2, window->height() / 2));
    }
}

}  // namespace

const char* AppDelegate::version() { return PARLOX_VERSION; }

AppDelegate::AppDelegate(AppServices services, QObject* parent)
    : QObject(parent),
      services_(std::move(services)),
      overlay_(std::make_shared<QtOverlayController>(services_.desktop.scheduler)),
      updater_(std::make_shared<Updater>(services_.updates, services_.notifier)) {
    // Closing the last window never quits: the application lives in the tray.
    // Left on, the toolkit would also queue a second quit behind every quit,
    // which a later event loop would obey.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    controller_ = std::make_unique<DictationController>(DictationController::Services{
        services_.desktop,
        services_.screenshots,
        services_.audio,
        services_.sounds,
        services_.transcriber,
        overlay_,
        updater_,
        {},
    });
    dictation_ = std::make_unique<ControllerDictation>(*controller_);
    connections_.push_back(updater_->checkImpossible().connect([this] { answerUpdateCheck(); }));
    if (services_.power && services_.desktop.keys) {
        keepAwake_ = std::make_unique<KeepAwake>(services_.power, services_.desktop.keys, services_.desktop.scheduler);
        keepAwake = keepAwake_.get();
    }
    makeWindowServices();
    menuBar_ = std::make_unique<MenuBarExtra>([this] { return makePanel(); });
    menuBar_->trayIcon().setContextMenu(&trayMenu_);
    connections_.push_back(dictation_->changed().connect([this] { updateTrayIcon(); }));
    if (keepAwake) connections_.push_back(keepAwake->changed().connect([this] { updateTrayIcon(); }));
    updateTrayIcon();
}

AppDelegate::~AppDelegate() {
    *alive_ = false;
    if (demo_) demo_->cancel();
    connections_.clear();
    // The windows go before the services they show.
    delete settingsWindow_;
    delete welcomeWindow_;
    delete updateAnswer_;
}

void AppDelegate::makeWindowServices() {
    windowServices_.modelState = [this] { return controller_->model(); };
    windowServices_.modelChanged = &controller_->modelChanged();
    windowServices_.audio = services_.audio;
    windowServices_.accessibility = services_.desktop.accessibility;
    windowServices_.screenshots = services_.screenshots;
    windowServices_.systemSettings = services_.systemSettings;
    windowServices_.workspace = services_.desktop.workspace;
    windowServices_.loginItem = services_.loginItem;
    windowServices_.sounds = services_.sounds;
    windowServices_.scheduler = services_.desktop.scheduler;
    windowServices_.updater = updater_.get();
    windowServices_.keepAwake = keepAwake;
    windowServices_.hasTray = [this] { return hasTray(); };
    if (services_.writerChecker) windowServices_.writerChecker = services_.writerChecker;
}

bool AppDelegate::hasTray() const {
    return services_.trayAvailable ? services_.trayAvailable() : QSystemTrayIcon::isSystemTrayAvailable();
}

void AppDelegate::bringForward(QWidget* window) {
    // After the window is up, on the next turn of the loop.
    QTimer::singleShot(0, window, [window] { raise(window); });
}

void AppDelegate::applicationDidFinishLaunching(const std::vector<std::string>& arguments, bool launchedAtLogin) {
    Log::info(std::string("Parlox arranca \u00B7 ") + version());

    GlobalKeyBindings::install(services_.hotKeys);
    hotkeys_ = std::make_shared<HotkeyManager>();
    controller_->attachHotkeys(hotkeys_);

    ScreenContext::discardAll();
    controller_->start();
    if (services_.loginItem) LoginItem::enableOnFirstRun(*services_.loginItem);
    if (services_.menuEntry) ApplicationMenu::install(*services_.menuEntry);

    notifications_ = std::make_unique<NotificationRouter>(updater_, [] {});
    if (services_.notifier) notifications_->install(*services_.notifier);

    std::weak_ptr<bool> alive = alive_;
    updater_->isBusy = [this, alive] {
        const auto living = alive.lock();
        return living && *living && controller_->phase().isBusy();
    };

    addUpdatesToAppMenu();
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive) addUpdatesToAppMenu();
    });

    // The tray icon is there while the setting says so, and follows it live.
    menuBar_->setPresent(SettingsStore::showsMenuBarIcon());
    iconSetting_ = platform::UserDefaults::standard().observe("showsMenuBarIcon", [this, alive](const std::string&) {
        services_.desktop.scheduler->post([this, alive] {
            if (auto living = alive.lock(); living && *living) menuBar_->setPresent(SettingsStore::showsMenuBarIcon());
        });
    });

    // Without a tray the icon cannot show, whatever the setting says.
    const LaunchAction action = LaunchAction::decide(
        arguments, {platform::UserDefaults::standard().boolean("hasFinishedSetup", false),
                    SettingsStore::showsMenuBarIcon() && hasTray(), launchedAtLogin});
    switch (action.kind) {
        case LaunchAction::Kind::panelCapture: {
            PanelCapture::KeepAwakeSwitch flip{[this] { return keepAwake && keepAwake->isOn(); },
                                               [this](bool on) {
                                                   if (keepAwake) keepAwake->set(on);
                                               }};
            PanelCapture::run(action.capturePath, *menuBar_, flip, services_.desktop.scheduler);
            break;
        }
        case LaunchAction::Kind::demoOverlay:
            demo_ = OverlayDemo::run(*overlay_, services_.desktop.scheduler);
            break;
        case LaunchAction::Kind::showWelcome:
            showWelcomeWindow();
            break;
        case LaunchAction::Kind::showSettings:
            showSettings(action.tab);
            break;
        case LaunchAction::Kind::nothing:
            break;
    }
}

void AppDelegate::showSettings(const std::optional<std::string>& tab) {
    if (tab) {
        if (const auto known = SettingsTab::fromRawValue(*tab)) settingsTabs_.setTab(*known);
    }
    Log::info("Ajustes abiertos");
    if (settingsWindow_) {
        raise(settingsWindow_);
        return;
    }
    windowServices_.keepAwake = keepAwake;
    settingsWindow_ = SettingsWindow::makeWindow(windowServices_, settingsTabs_, settingsToolbar_);
    settingsWindow_->setAttribute(Qt::WA_DeleteOnClose);
    quitsWithCtrlQ(settingsWindow_);
    settingsWindow_->show();
    bringForward(settingsWindow_);
}

void AppDelegate::showWelcomeWindow() {
    if (welcomeWindow_) {
        raise(welcomeWindow_);
        return;
    }
    windowServices_.keepAwake = keepAwake;
    std::weak_ptr<bool> alive = alive_;
    auto* window = new WelcomeWindow(windowServices_, [this, alive] {
        if (auto living = alive.lock(); living && *living && welcomeWindow_) welcomeWindow_->close();
    });
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setFixedSize(WelcomeWindow::width, WelcomeWindow::height);
    quitsWithCtrlQ(window);
    // Quitting closes the windows too, which finishes nothing.
    new CloseWatcher(window, [this, alive] {
        if (auto living = alive.lock(); living && *living && !quitting_)
            platform::UserDefaults::standard().set("hasFinishedSetup", true);
    });
    welcomeWindow_ = window;
    centre(window);
    window->show();
    bringForward(window);
}

void AppDelegate::applicationShouldHandleReopen() { showSettings(); }

void AppDelegate::addUpdatesToAppMenu() {
    for (QAction* action : trayMenu_.actions()) {
        if (action->text() == QString::fromUtf8(checkForUpdatesTitle)) return;
    }
    trayMenu_.addAction(QString::fromUtf8(checkForUpdatesTitle), this, [this] { checkForUpdatesFromMenu(); });
}

void AppDelegate::checkForUpdatesFromMenu() { updater_->checkForUpdates(); }

void AppDelegate::answerUpdateCheck() {
    if (updateAnswer_) {
        raise(updateAnswer_);
        return;
    }
    QMessageBox* answer = makeUpdateAnswer();
    answer->setAttribute(Qt::WA_DeleteOnClose);
    updateAnswer_ = answer;
    answer->show();
    bringForward(answer);
}

QMessageBox* AppDelegate::makeUpdateAnswer() {
    auto* answer = new QMessageBox(QMessageBox::Information, QStringLiteral("Actualizaciones"),
                                   QStringLiteral("Parlox no se actualiza sola"), QMessageBox::NoButton);
    answer->setInformativeText(QStringLiteral("Esta es la versión %1. Para tener una más nueva, instálala como "
                                              "instalaste esta.")
                                   .arg(QString::fromUtf8(version())));
    WindowParts::addAcceptButton(*answer);
    return answer;
}

void AppDelegate::quitsWithCtrlQ(QWidget* window) {
    // With the tray icon hidden, the windows are the only way out.
    auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), window);
    connect(shortcut, &QShortcut::activated, this, [this] { quit(); });
}

void AppDelegate::quit() {
    quitting_ = true;
    QCoreApplication::quit();
}

QWidget* AppDelegate::makePanel() {
    MenuBarPanel::Sources sources{dictation_.get(), keepAwake, updater_.get(), services_.audio,
                                  services_.desktop.accessibility, [s = services_.desktop.scheduler] { return s->now(); }};
    MenuBarPanel::Actions actions{
        [this] { showSettings(); },
        [this] { menuBar_->closePanel(); },
        [this] { quit(); },
        {},
    };
    return new MenuBarPanel(sources, actions, Theme::current());
}

void AppDelegate::updateTrayIcon() {
    const bool unlocked = keepAwake && keepAwake->isUnlocked();
    const bool on = keepAwake && keepAwake->isOn();
    const MenuBarLabel::Look look = MenuBarLabel::look(controller_->phase(), controller_->model(), unlocked, on);
    const QColor ink = QGuiApplication::palette().color(QPalette::WindowText);
    menuBar_->setIcon(MenuBarLabel::icon(look, ink, Theme::current()), MenuBarLabel::description(look));
}

}  // namespace Parlox
