#include "app/Overlay/MenuBarExtra.hpp"

#include <algorithm>

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

namespace Parlox {
namespace {

// Refits the popup whenever its content asks for another size.
class PanelWindow : public QWidget {
public:
    PanelWindow(QWidget* content, std::function<void()> fit)
        : QWidget(nullptr, Qt::Popup | Qt::FramelessWindowHint), fit_(std::move(fit)) {
        setAttribute(Qt::WA_DeleteOnClose);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSizeConstraint(QLayout::SetFixedSize);
        layout->addWidget(content);
        content->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::LayoutRequest) fit_();
        return QWidget::eventFilter(watched, event);
    }

private:
    std::function<void()> fit_;
};

}  // namespace

MenuBarExtra::MenuBarExtra(std::function<QWidget*()> makeContent, QObject* parent)
    : QObject(parent), makeContent_(std::move(makeContent)) {
    connect(&tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) togglePanel();
    });
}

MenuBarExtra::~MenuBarExtra() {
    if (window_) delete window_;
}

void MenuBarExtra::setPresent(bool present) {
    present_ = present;
    tray_.setVisible(present);
    if (!present) closePanel();
}

void MenuBarExtra::setIcon(const QIcon& icon, const QString& description) {
    tray_.setIcon(icon);
    tray_.setToolTip(description);
}

bool MenuBarExtra::hasButton() const { return present_ && QSystemTrayIcon::isSystemTrayAvailable(); }

bool MenuBarExtra::isPanelOpen() const { return window_ && window_->isVisible(); }

void MenuBarExtra::togglePanel() {
    if (isPanelOpen()) closePanel();
    else openPanel();
}

void MenuBarExtra::openPanel() {
    if (isPanelOpen()) return;
    if (window_) delete window_;
    window_ = new PanelWindow(makeContent_(), [this] { fit(); });
    window_->adjustSize();
    const QPoint pointer = QCursor::pos();
    QScreen* screen = QGuiApplication::screenAt(pointer);
    if (!screen) screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    window_->move(placement(tray_.geometry(), pointer, window_->size(), available));
    window_->show();
}

void MenuBarExtra::closePanel() {
    if (window_) window_->close();
}

void MenuBarExtra::fit() {
    // The top edge stays where it is; the window grows or shrinks at the bottom.
    if (!window_) return;
    const QPoint top = window_->pos();
    window_->adjustSize();
    window_->move(top);
}

QPoint MenuBarExtra::placement(const QRect& icon, const QPoint& pointer, const QSize& panel, const QRect& available) {
    const QRect anchor = icon.isValid() && !icon.isEmpty() ? icon : QRect(pointer, QSize(1, 1));
    const int middleX = anchor.x() + anchor.width() / 2;
    // Below an icon in the upper half of the screen, above one in the lower half.
    const bool below = anchor.y() + anchor.height() / 2 < available.y() + available.height() / 2;
    int x = middleX - panel.width() / 2;
    int y = below ? anchor.y() + anchor.height() + 5 : anchor.y() - 4 - panel.height();
    x = std::clamp(x, available.x(), std::max(available.x(), available.x() + available.width() - panel.width()));
    y = std::clamp(y, available.y(), std::max(available.y(), available.y() + available.height() - panel.height()));
    return QPoint(x, y);
}

}  // namespace Parlox
