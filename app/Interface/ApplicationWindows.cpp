#include "app/Interface/ApplicationWindows.hpp"

#include <cstdio>

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QMainWindow>
#include <QScreen>
#include <QTimer>

#include "app/App/AppDelegate.hpp"
#include "app/App/LaunchAction.hpp"
#include "app/App/LinuxDesktop.hpp"
#include "app/App/QtMainQueue.hpp"
#include "app/Hotkey/HotkeyManager.hpp"
#include "app/System/Updater.hpp"
#include "platform/foundation/Error.hpp"
#include "app/Interface/SettingsWindow.hpp"
#include "app/Interface/WelcomeWindow.hpp"
#include "platform/foundation/UserDefaults.hpp"

namespace Parlox {
namespace {

// Runs `closed` once when `window` is closed, however it closes.
class CloseWatcher : public QObject {
public:
    CloseWatcher(QWidget* window, std::function<void()> closed) : QObject(window), closed_(std::move(closed)) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Close && closed_) std::exchange(closed_, {})();
        return false;
    }

private:
    std::function<void()> closed_;
};

// The windows' share of the application's services.
WindowServices windowServices(const AppServices& app, Updater& updater) {
    WindowServices services;
    services.audio = app.audio;
    services.accessibility = app.desktop.accessibility;
    services.screenshots = app.screenshots;
    services.systemSettings = app.systemSettings;
    services.workspace = app.desktop.workspace;
    services.loginItem = app.loginItem;
    services.sounds = app.sounds;
    services.scheduler = app.desktop.scheduler;
    services.updater = &updater;
    return services;
}

void centre(QWidget& window) {
    if (QScreen* screen = QGuiApplication::primaryScreen())
        window.move(screen->availableGeometry().center() - QPoint(window.width() / 2, window.height() / 2));
}

}  // namespace

ApplicationWindows::ApplicationWindows(WindowServices services, QObject* parent)
    : QObject(parent), services_(std::move(services)) {}

ApplicationWindows::~ApplicationWindows() {
    delete settings_;
    delete welcome_;
}

ApplicationWindows* ApplicationWindows::install(AppDelegate& delegate) {
    WindowServices services = windowServices(delegate.services(), delegate.updater());
    DictationController& controller = delegate.controller();
    services.modelState = [&controller] { return controller.model(); };
    services.modelChanged = &controller.modelChanged();
    services.keepAwake = delegate.keepAwake;
    auto* windows = new ApplicationWindows(std::move(services), &delegate);
    QPointer<ApplicationWindows> guard(windows);
    AppDelegate* owner = &delegate;
    delegate.settingsWindow = [guard, owner](const std::optional<std::string>& tab) {
        if (!guard) return;
        guard->services_.keepAwake = owner->keepAwake;
        guard->showSettings(tab);
    };
    delegate.welcomeWindow = [guard, owner] {
        if (!guard) return;
        guard->services_.keepAwake = owner->keepAwake;
        guard->showWelcomeWindow();
    };
    return windows;
}

void ApplicationWindows::bringForward(QWidget& window) {
    window.show();
    window.raise();
    window.activateWindow();
}

void ApplicationWindows::showSettings(const std::optional<std::string>& tab) {
    if (tab)
        if (auto known = SettingsTab::fromRawValue(*tab)) tabs_.setTab(*known);
    if (settings_) {
        bringForward(*settings_);
        return;
    }
    settings_ = SettingsWindow::makeWindow(services_, tabs_, toolbar_);
    QPointer<QMainWindow> window = settings_;
    new CloseWatcher(settings_, [this, window] {
        if (settings_ == window) settings_ = nullptr;
        if (window) window->deleteLater();
    });
    settings_->show();
    QTimer::singleShot(0, settings_, [window] {
        if (window) bringForward(*window);
    });
}

void ApplicationWindows::showWelcomeWindow() {
    if (welcome_) {
        bringForward(*welcome_);
        return;
    }
    auto* window = new WelcomeWindow(services_, {});
    welcome_ = window;
    QPointer<WelcomeWindow> guard(window);
    // "Listo" closes the window, which is then handled like its close button.
    window->setOnDone([guard] {
        if (guard) guard->close();
    });
    new CloseWatcher(window, [this, guard] {
        platform::UserDefaults::standard().set("hasFinishedSetup", true);
        if (welcome_ == guard) welcome_ = nullptr;
        if (guard) guard->deleteLater();
    });
    centre(*window);
    window->show();
    QTimer::singleShot(0, window, [guard] {
        if (guard) bringForward(*guard);
    });
}

bool ApplicationWindows::asksForWindow(const std::vector<std::string>& arguments) {
    const auto action = LaunchAction::decide(arguments, {true, true, false});
    return action.kind == LaunchAction::Kind::showWelcome || action.kind == LaunchAction::Kind::showSettings;
}

int ApplicationWindows::runWindowOnly(int argc, char** argv, const std::vector<std::string>& arguments) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Parlox"));
    QtMainQueue mainQueue;
    AppServices app;
    try {
        app = LinuxDesktop::services(nullptr);
    } catch (const platform::Error& error) {
        std::fprintf(stderr, "%s\n", error.localizedDescription().c_str());
        return 1;
    }
    GlobalKeyBindings::install(app.hotKeys);
    GlobalKeyBindings::declare(HotkeyManager::toggleRecording());
    Updater updater(app.updates, app.notifier);

    ApplicationWindows windows(windowServices(app, updater));
    const auto action = LaunchAction::decide(arguments, {true, true, false});
    if (action.kind == LaunchAction::Kind::showWelcome)
        windows.showWelcomeWindow();
    else
        windows.showSettings(action.tab);
    QApplication::setQuitOnLastWindowClosed(true);
    const int status = QApplication::exec();
    GlobalKeyBindings::uninstall();
    return status;
}

}  // namespace Parlox
