#include "app/Interface/SettingsWindow.hpp"

#include <QGuiApplication>
#include <QMainWindow>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include "app/Interface/GeneralSettings.hpp"
#include "app/Interface/PermissionSettings.hpp"
#include "app/Interface/VoiceSettings.hpp"
#include "app/Interface/WritingSettings.hpp"

namespace Parlox {

SettingsWindow::SettingsWindow(const WindowServices& services, SettingsTabs* tabs, PageShown onPageShown,
                               const Theme& theme, QWidget* parent)
    : QWidget(parent), services_(services), tabs_(tabs), onPageShown_(std::move(onPageShown)), theme_(theme) {
    setPalette(theme_.palette());
    setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    showTab(tabs->tab());
    connect(tabs, &SettingsTabs::tabChanged, this, [this](SettingsTab::Value tab) {
        showTab(tab);
        QPointer<SettingsWindow> self(this);
        QTimer::singleShot(0, this, [self, tab] {
            if (self && self->onPageShown_) self->onPageShown_(tab);
        });
    });
}

void SettingsWindow::showTab(SettingsTab tab) {
    delete page_;
    shown_ = tab;
    switch (tab) {
        case SettingsTab::general:
            page_ = new GeneralSettings(services_, theme_, this);
            break;
        case SettingsTab::writing:
            page_ = new WritingSettings(services_, theme_, this);
            break;
        case SettingsTab::voice:
            page_ = new VoiceSettings(services_, theme_, this);
            break;
        case SettingsTab::permissions:
            page_ = new PermissionSettings(services_, theme_, this);
            break;
    }
    page_->setObjectName(QString::fromStdString(tab.rawValue()));
    layout()->addWidget(page_);
    setFixedSize(SettingsTab::contentWidth, tab.contentHeight());
    page_->show();
}

QMainWindow* SettingsWindow::makeWindow(const WindowServices& services, SettingsTabs& tabs, SettingsToolbar& toolbar,
                                        const Theme& theme) {
    auto* window = new QMainWindow(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                                                Qt::CustomizeWindowHint);
    window->setPalette(theme.palette());
    QPointer<SettingsToolbar> bar(&toolbar);
    window->setCentralWidget(new SettingsWindow(
        services, &tabs, [bar](SettingsTab tab) {
            if (bar) bar->show(tab);
        },
        theme, window));
    toolbar.attach(window, &tabs, theme);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        window->move(area.center() - QPoint(window->width() / 2, window->height() / 2));
    }
    return window;
}

}  // namespace Parlox
