#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QMainWindow>
#include <QMenu>
#include <QObject>
#include <QPointer>

#include "app/App/AppServices.hpp"
#include "app/App/DictationController.hpp"
#include "app/App/LaunchAction.hpp"
#include "app/Hotkey/HotkeyManager.hpp"
#include "app/Interface/SettingsTab.hpp"
#include "app/Interface/SettingsToolbar.hpp"
#include "app/Interface/WindowServices.hpp"
#include "app/Overlay/MenuBarExtra.hpp"
#include "app/Overlay/MenuBarSources.hpp"
#include "app/Overlay/QtOverlayController.hpp"
#include "app/System/KeepAwake.hpp"
#include "app/System/Updater.hpp"
#include "platform/concurrency/Signal.hpp"
#include "platform/foundation/UserDefaults.hpp"

class QMessageBox;

namespace Parlox {

class OverlayDemo;

// The application for the whole life of the process: it owns the dictation
// controller, its indicator, the hot keys, the tray icon with its panel,
// the updater and the windows, runs the launch sequence and decides which
// window opens at launch.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    static const char* version();

    explicit AppDelegate(AppServices services, QObject* parent = nullptr);
    ~AppDelegate() override;

    // The launch sequence; `arguments` without the program path.
    void applicationDidFinishLaunching(const std::vector<std::string>& arguments, bool launchedAtLogin);

    // Opens or brings forward the settings window, on `tab` when it names one.
    void showSettings(const std::optional<std::string>& tab = std::nullopt);
    // Opens or brings forward the first-run window; closing it, by its last
    // button or the window's own, marks the setup finished.
    void showWelcomeWindow();
    // Another start of the application: the settings come forward.
    void applicationShouldHandleReopen();
    // Adds "Buscar actualizaciones…" to the tray's menu unless it is there.
    void addUpdatesToAppMenu();
    void checkForUpdatesFromMenu();
    // Tells the user that no update is looked for here (there is no update service).
    void answerUpdateCheck();
    // The box that says so, not yet shown.
    static QMessageBox* makeUpdateAnswer();
    void quit();

    // The hidden keep-awake switch; none without a power service.
    KeepAwakeSwitch* keepAwake = nullptr;

    QMainWindow* settingsWindow() const { return settingsWindow_; }
    QWidget* welcomeWindow() const { return welcomeWindow_; }
    SettingsTabs& settingsTabs() { return settingsTabs_; }

    DictationController& controller() { return *controller_; }
    QtOverlayController& overlay() { return *overlay_; }
    MenuBarExtra& menuBar() { return *menuBar_; }
    Updater& updater() { return *updater_; }
    QMenu& trayMenu() { return trayMenu_; }
    const AppServices& services() const { return services_; }

private:
    QWidget* makePanel();
    bool hasTray() const;
    void makeWindowServices();
    void bringForward(QWidget* window);
    // Ctrl+Q in `window` quits the application.
    void quitsWithCtrlQ(QWidget* window);
    void updateTrayIcon();

    AppServices services_;
    std::shared_ptr<QtOverlayController> overlay_;
    std::shared_ptr<Updater> updater_;
    std::unique_ptr<DictationController> controller_;
    std::unique_ptr<ControllerDictation> dictation_;
    std::shared_ptr<HotkeyManager> hotkeys_;
    std::unique_ptr<NotificationRouter> notifications_;
    std::unique_ptr<KeepAwake> keepAwake_;
    std::unique_ptr<MenuBarExtra> menuBar_;
    QMenu trayMenu_;
    std::shared_ptr<OverlayDemo> demo_;
    WindowServices windowServices_;
    SettingsTabs settingsTabs_;
    SettingsToolbar settingsToolbar_;
    QPointer<QMainWindow> settingsWindow_;
    QPointer<QWidget> welcomeWindow_;
    QPointer<QWidget> updateAnswer_;
    std::vector<platform::Connection> connections_;
    platform::UserDefaults::Observation iconSetting_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    bool quitting_ = false;
};

}  // namespace Parlox
