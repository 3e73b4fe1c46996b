#include "app/Interface/SettingsToolbar.hpp"

#include <cmath>

#include <QAction>
#include <QActionGroup>
#include <QIcon>
#include <QMainWindow>
#include <QToolBar>

#include "app/Overlay/Fonts.hpp"
#include "app/Overlay/Symbols.hpp"

namespace Parlox {

void SettingsToolbar::attach(QMainWindow* window, SettingsTabs* tabs, const Theme& theme) {
    tabs_ = tabs;
    window_ = window;
    auto* toolbar = new QToolBar(window);
    toolbar->setObjectName(QStringLiteral("settings"));
    toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->toggleViewAction()->setEnabled(false);
    toolbar->setContextMenuPolicy(Qt::PreventContextMenu);
    toolbar->setIconSize(QSize(24, 24));
    toolbar->setFont(Fonts::system(11));
    // Flexible space on both sides keeps the items together in the middle.
    const auto addSpace = [toolbar] {
        auto* space = new QWidget(toolbar);
        space->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        toolbar->addWidget(space);
    };
    addSpace();
    auto* group = new QActionGroup(toolbar);
    group->setExclusive(true);
    for (SettingsTab tab : SettingsTab::allCases()) {
        QIcon icon;
        for (double ratio : {1.0, 2.0})
            icon.addPixmap(Symbols::pixmap(tab.symbol(), 22, theme.secondary(), Symbols::Weight::regular, ratio));
        auto* item = new QAction(icon, QString::fromStdString(tab.title()), group);
        item->setObjectName(QString::fromStdString(tab.rawValue()));
        item->setData(QString::fromStdString(tab.rawValue()));
        item->setCheckable(true);
        item->setToolTip(QString::fromStdString(tab.title()));
        connect(item, &QAction::triggered, this, [this, item] { select(item); });
        toolbar->addAction(item);
    }
    addSpace();
    window->addToolBar(Qt::TopToolBarArea, toolbar);
    window->setContextMenuPolicy(Qt::PreventContextMenu);
    toolbar_ = toolbar;
    window->setWindowTitle(QStringLiteral("Ajustes de Parlox"));
    show(tabs->tab());
}

void SettingsToolbar::show(SettingsTab tab) {
    if (toolbar_) {
        for (QAction* item : toolbar_->actions())
            if (item->data().toString().toStdString() == tab.rawValue()) item->setChecked(true);
    }
    if (!window_) return;
    // The window's height is the toolbar's plus the page's; the top stays where it is.
    const int toolbarHeight = toolbar_ ? toolbar_->sizeHint().height() : 0;
    const int height = toolbarHeight + tab.contentHeight();
    if (std::abs(window_->height() - height) > 0) window_->setFixedSize(SettingsTab::contentWidth, height);
}

void SettingsToolbar::select(QAction* item) {
    if (!item || !tabs_) return;
    if (auto tab = SettingsTab::fromRawValue(item->data().toString().toStdString())) tabs_->setTab(*tab);
}

}  // namespace Parlox
