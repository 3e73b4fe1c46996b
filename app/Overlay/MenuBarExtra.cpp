#include "app/Overlay/MenuBarExtra.hpp"

#include <algorithm>

#include <QCursor>
#include <QResizeEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

namespace Parlox {
namespace {

// Sized by its content; tells each change of its height while it is shown.
class PanelWindow : public QWidget {
public:
    PanelWindow(QWidget* content, std::function<void(int oldHeight)> resized)
        : QWidget(nullptr, Qt::Popup | Qt::FramelessWindowHint), resized_(std::move(resized)) {
        setAttribute(Qt::WA_DeleteOnClose);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSizeConstraint(QLayout::SetFixedSize);
        layout->addWidget(content);
    }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        if (isVisible() && event->oldSize().isValid() && event->oldSize().height() != height())
            resized_(event->oldSize().height());
    }

private:
    std::function<void(int)> resized_;
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
    window_ = new PanelWindow(makeContent_(), [this](int oldHeight) { fit(oldHeight); });
    window_->adjustSize();
    const QPoint pointer = QCursor::pos();
    QScreen* screen = QGuiApplication::screenAt(pointer);
    if (!screen) screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const QPoint at = placement(tray_.geometry(), pointer, window_->size(), available);
    // Above the icon when the tray is at the bottom of the screen.
    growsDown_ = at.y() >= pointerAnchor(tray_.geometry(), pointer).center().y();
    window_->move(at);
    window_->show();
}

void MenuBarExtra::closePanel() {
    if (window_) window_->close();
}

void MenuBarExtra::fit(int oldHeight) {
    // The edge next to the tray stays where it is: under a top bar the window
    // grows or shrinks at the bottom, over a bottom panel at the top.
    if (!window_ || growsDown_) return;
    window_->move(window_->x(), window_->y() + oldHeight - window_->height());
}

QRect MenuBarExtra::pointerAnchor(const QRect& icon, const QPoint& pointer) {
    return icon.isValid() && !icon.isEmpty() ? icon : QRect(pointer, QSize(1, 1));
}

QPoint MenuBarExtra::placement(const QRect& icon, const QPoint& pointer, const QSize& panel, const QRect& available) {
    const QRect anchor = pointerAnchor(icon, pointer);
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
