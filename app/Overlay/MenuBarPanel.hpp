#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include "app/Overlay/MenuBarSources.hpp"
#include "app/Overlay/Theme.hpp"
#include "app/System/Permissions.hpp"
#include "app/System/Updater.hpp"
#include "platform/accessibility/Accessibility.hpp"
#include "platform/audio/AudioSystem.hpp"
#include "platform/concurrency/Signal.hpp"

namespace Parlox {

// The content of the tray icon's panel: a 320 px column with an offered
// update, missing permissions, the state of the dictation or of the speech
// model, the last dictation's restore actions, the hidden keep-awake switch,
// "Ajustes…" and "Salir de Parlox". It redraws itself whenever what it shows
// changes. Every action but resuming, the switch and quitting closes the
// panel's window first.
class MenuBarPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int width = 320;

    struct Sources {
        MenuBarDictation* dictation = nullptr;
        KeepAwakeSwitch* keepAwake = nullptr;  // none: locked
        Updater* updater = nullptr;            // none: nothing offered
        std::shared_ptr<platform::audio::AudioSystem> audio;
        std::shared_ptr<platform::accessibility::Accessibility> accessibility;
        std::function<platform::Date()> now;  // the system clock when empty
    };
    struct Actions {
        std::function<void()> openSettings;  // does nothing when empty
        std::function<void()> closeWindow;   // closes the window that hosts the panel
        std::function<void()> quit;
        std::function<void()> activate;  // brings the application forward
    };

    // `animated` false draws still pictures (no spinner motion, no timers).
    MenuBarPanel(Sources sources, Actions actions, const Theme& theme, bool animated = true,
                 QWidget* parent = nullptr);
    ~MenuBarPanel() override;

    // The warning for a missing microphone or accessibility, none when both are there.
    static std::optional<std::string> permissionProblem(PermissionState microphone, PermissionState accessibility);
    // The recording clock "mm:ss" as the panel shows it now.
    QString clockText() const;

    // Reads both permissions again (every 1.5 s while shown).
    void refresh();

private:
    void rebuild();
    void addDivider();
    void addUpdateRow(const std::string& version);
    void addPermissionWarning(const std::string& problem);
    void addStatus();
    void addActions(const ParloxCore::DictationSession& session);
    void addFooter();
    QWidget* headline(const QString& title, const QString& detail);
    void primaryAction();
    void closeThen(const std::function<void()>& action);
    std::optional<ParloxCore::DictationSession> lastSession() const;

    Sources sources_;
    Actions actions_;
    Theme theme_;
    bool animated_;
    PermissionState microphone_ = PermissionState::unknown;
    PermissionState accessibility_ = PermissionState::unknown;
    QVBoxLayout* column_;
    QLabel* clock_ = nullptr;
    QTimer permissionTimer_;
    QTimer clockTimer_;
    std::vector<platform::Connection> connections_;
};

}  // namespace Parlox
