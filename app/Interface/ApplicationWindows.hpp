#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QObject>
#include <QPointer>

#include "app/Interface/SettingsTab.hpp"
#include "app/Interface/SettingsToolbar.hpp"
#include "app/Interface/WelcomeWindow.hpp"
#include "app/Interface/WindowServices.hpp"

class QMainWindow;

namespace Parlox {

class AppDelegate;

// The running application's welcome and settings windows: each opens on
// request, comes forward when already open, and is forgotten when closed,
// so the next request builds it anew. The selected settings tab and the
// toolbar last for the whole run. Closing the welcome window, by its last
// button or its close button, marks the setup finished.
class ApplicationWindows : public QObject {
    Q_OBJECT
public:
    explicit ApplicationWindows(WindowServices services, QObject* parent = nullptr);
    ~ApplicationWindows() override;

    // Installs the windows as the delegate's window openers; they live as
    // long as the delegate.
    static ApplicationWindows* install(AppDelegate& delegate);

    // Whether the launch arguments (program path excluded) ask for the
    // welcome or the settings window ("--show-welcome", "--show-settings").
    static bool asksForWindow(const std::vector<std::string>& arguments);
    // Opens that window on the desktop's services, without the dictation
    // (the speech model reads as not loaded), until the window closes.
    // Returns the exit status.
    static int runWindowOnly(int argc, char** argv, const std::vector<std::string>& arguments);

    // Selects `tab` first when it is the raw value of a tab.
    void showSettings(const std::optional<std::string>& tab = std::nullopt);
    void showWelcomeWindow();

    SettingsTabs& settingsTabs() { return tabs_; }
    SettingsToolbar& settingsToolbar() { return toolbar_; }
    QMainWindow* settingsWindow() const { return settings_; }
    WelcomeWindow* welcomeWindow() const { return welcome_; }
    WindowServices& services() { return services_; }

private:
    static void bringForward(QWidget& window);

    WindowServices services_;
    SettingsTabs tabs_;
    SettingsToolbar toolbar_;
    QPointer<QMainWindow> settings_;
    QPointer<WelcomeWindow> welcome_;
};

}  // namespace Parlox
