#include "app/App/AppDelegate.hpp"

#include <QApplication>
#include <QGuiApplication>

#include "app/Context/ScreenContext.hpp"
#include "app/Debug/OverlayDemo.hpp"
#include "app/Debug/PanelCapture.hpp"
#include "app/Overlay/MenuBarLabel.hpp"
#include "app/Overlay/MenuBarPanel.hpp"
#include "app/Support/Log.hpp"
#include "app/Support/SettingsStore.hpp"

namespace Parlox {
namespace {

constexpr const char* checkForUpdatesTitle = "Buscar actualizaciones\u2026";

}  // namespace

const char* AppDelegate::version() { return PARLOX_VERSION; }

AppDelegate::AppDelegate(AppServices services, QObject* parent)
    : QObject(parent),
      services_(std::move(services)),
      overlay_(std::make_shared<QtOverlayController>(services_.desktop.scheduler)),
      updater_(std::make_shared<Updater>(services_.updates, services_.notifier)) {
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
    menuBar_ = std::make_unique<MenuBarExtra>([this] { return makePanel(); });
    menuBar_->trayIcon().setContextMenu(&trayMenu_);
    connections_.push_back(dictation_->changed().connect([this] { updateTrayIcon(); }));
    updateTrayIcon();
}

AppDelegate::~AppDelegate() {
    *alive_ = false;
    if (demo_) demo_->cancel();
    connections_.clear();
}

void AppDelegate::applicationDidFinishLaunching(const std::vector<std::string>& arguments, bool launchedAtLogin) {
    Log::info(std::string("Parlox arranca \u00B7 ") + version());

    GlobalKeyBindings::install(services_.hotKeys);
    hotkeys_ = std::make_shared<HotkeyManager>();
    controller_->attachHotkeys(hotkeys_);

    ScreenContext::discardAll();
    controller_->start();

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

    const LaunchAction action = LaunchAction::decide(
        arguments, {platform::UserDefaults::standard().boolean("hasFinishedSetup", false),
                    SettingsStore::showsMenuBarIcon(), launchedAtLogin});
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
    Log::info("Ajustes abiertos");
    if (settingsWindow) settingsWindow(tab);
}

void AppDelegate::showWelcomeWindow() {
    if (welcomeWindow) welcomeWindow();
}

void AppDelegate::applicationShouldHandleReopen() { showSettings(); }

void AppDelegate::addUpdatesToAppMenu() {
    for (QAction* action : trayMenu_.actions()) {
        if (action->text() == QString::fromUtf8(checkForUpdatesTitle)) return;
    }
    trayMenu_.addAction(QString::fromUtf8(checkForUpdatesTitle), this, [this] { checkForUpdatesFromMenu(); });
}

void AppDelegate::checkForUpdatesFromMenu() { updater_->checkForUpdates(); }

void AppDelegate::quit() { QCoreApplication::quit(); }

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
