#pragma once

#include <functional>

#include <QPointer>
#include <QWidget>

#include "app/Interface/SettingsTab.hpp"
#include "app/Interface/SettingsToolbar.hpp"
#include "app/Interface/WindowServices.hpp"
#include "app/Overlay/Theme.hpp"

class QMainWindow;

namespace Parlox {

// The settings window's content: only the selected tab's page, framed to
// 660 points by the tab's height. After the selected tab changes it calls
// `onPageShown` with the new tab, on the next turn of the event loop.
class SettingsWindow : public QWidget {
    Q_OBJECT
public:
    using PageShown = std::function<void(SettingsTab)>;

    SettingsWindow(const WindowServices& services, SettingsTabs* tabs, PageShown onPageShown,
                   const Theme& theme = Theme::current(), QWidget* parent = nullptr);

    // The page shown now, and its tab.
    QWidget* page() const { return page_; }
    SettingsTab shownTab() const { return shown_; }

    // The settings window as the application opens it: titled and closable,
    // not resizable, 660 points by the selected tab's height, the toolbar
    // attached and this view inside; centred on the screen, not yet shown.
    static QMainWindow* makeWindow(const WindowServices& services, SettingsTabs& tabs, SettingsToolbar& toolbar,
                                   const Theme& theme = Theme::current());

private:
    void showTab(SettingsTab tab);

    const WindowServices& services_;
    QPointer<SettingsTabs> tabs_;
    PageShown onPageShown_;
    Theme theme_;
    SettingsTab shown_ = SettingsTab::general;
    QWidget* page_ = nullptr;
};

}  // namespace Parlox
