#pragma once

#include <QMainWindow>
#include <QObject>
#include <QPointer>
#include <QToolBar>

#include "app/Interface/SettingsTab.hpp"
#include "app/Overlay/Theme.hpp"

class QAction;
class QActionGroup;

namespace Parlox {

// The settings window's toolbar: four items together in its middle, icon
// above label, one per tab; a click selects the tab, and showing a tab
// selects its item and fits the window's height to the tab, keeping the
// window's top edge in place. Kept for the whole run; a new window gets it
// attached anew.
class SettingsToolbar : public QObject {
    Q_OBJECT
public:
    explicit SettingsToolbar(QObject* parent = nullptr) : QObject(parent) {}

    // Installs the toolbar and the title "Ajustes de Parlox" on the window,
    // then shows the current tab.
    void attach(QMainWindow* window, SettingsTabs* tabs, const Theme& theme = Theme::current());
    // Selects the tab's item and fits the window to the tab's height; skips
    // whatever half is gone.
    void show(SettingsTab tab);
    // An item's action: the tab whose raw value is the item's id.
    void select(QAction* item);

    QToolBar* toolbar() const { return toolbar_; }
    QMainWindow* window() const { return window_; }

private:
    QPointer<SettingsTabs> tabs_;
    QPointer<QMainWindow> window_;
    QPointer<QToolBar> toolbar_;
};

}  // namespace Parlox
