#pragma once

#include <chrono>
#include <vector>

#include <QWidget>

#include "app/Interface/WindowServices.hpp"
#include "app/Overlay/Theme.hpp"
#include "platform/concurrency/Signal.hpp"

class QCheckBox;
class QComboBox;
class QLabel;

namespace Parlox {

class FormSection;

// Five clicks within less than two seconds, counted as a sliding window:
// the fifth click whose four predecessors are all younger than 2.0 s
// answers true, and the count starts again from nothing.
class VersionClicks {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr double window = 2.0;
    static constexpr size_t needed = 5;

    bool click(Clock::time_point now);
    size_t count() const { return clicks_.size(); }

private:
    std::vector<Clock::time_point> clicks_;
};

// The "General" tab: start at login, the tray icon (and, on a desktop
// without a tray, how to reach Parlox), the dictation hot key, the sounds,
// how long Escape undoes, the update check, and the hidden keep-awake
// section that five quick clicks on the version reveal or hide. Nothing is
// written until the user changes a control.
class GeneralSettings : public QWidget {
    Q_OBJECT
public:
    GeneralSettings(const WindowServices& services, const Theme& theme, QWidget* parent = nullptr);

    // The application's version, or "—" when it has none.
    static QString version();

    // A click on the version label.
    void countVersionClick();

    QCheckBox* loginToggle() const { return login_; }
    QCheckBox* iconToggle() const { return icon_; }
    QCheckBox* soundsToggle() const { return sounds_; }
    QComboBox* undoPicker() const { return undo_; }
    QCheckBox* keepAwakeToggle() const { return keepAwakeToggle_; }
    QLabel* versionLabel() const { return version_; }
    bool showsKeepAwake() const;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build();
    void updateLogin();
    void updateIconFooter();
    void updateShortcutFooter();
    void updateKeepAwake();
    VersionClicks::Clock::time_point now() const;

    const WindowServices& services_;
    Theme theme_;
    VersionClicks versionClicks_;
    FormSection* general_ = nullptr;
    FormSection* shortcut_ = nullptr;
    FormSection* keepAwake_ = nullptr;
    QCheckBox* login_ = nullptr;
    QCheckBox* icon_ = nullptr;
    QCheckBox* sounds_ = nullptr;
    QComboBox* undo_ = nullptr;
    QCheckBox* keepAwakeToggle_ = nullptr;
    QLabel* version_ = nullptr;
    platform::Connection keepAwakeChanges_;
    platform::Connection shortcutChanges_;
};

}  // namespace Parlox
