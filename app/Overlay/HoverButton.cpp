#include "app/Overlay/HoverButton.hpp"

#include <QEnterEvent>

namespace Parlox {

HoverButton::HoverButton(QWidget* parent) : QAbstractButton(parent) {
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::NoFocus);
}

void HoverButton::enterEvent(QEnterEvent* event) {
    setHovering(true);
    QAbstractButton::enterEvent(event);
}

void HoverButton::leaveEvent(QEvent* event) {
    setHovering(false);
    QAbstractButton::leaveEvent(event);
}

void HoverButton::setHovering(bool hovering) {
    if (hovering == hovering_) return;
    hovering_ = hovering;
    update();
    Q_EMIT hoverChanged(hovering);
}

}  // namespace Parlox
