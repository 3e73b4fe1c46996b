#include "app/Overlay/PanelWidgets.hpp"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include "app/Overlay/Fonts.hpp"

namespace Parlox {

PanelButton::PanelButton(const QString& title, std::function<void()> action, const Theme& theme, QWidget* parent,
                         bool semibold, int extraInset)
    : HoverButton(parent), font_(Fonts::menuItem()), theme_(theme), inset_(5 + extraInset) {
    if (semibold) font_.setWeight(QFont::DemiBold);
    setText(title);
    setAccessibleName(title);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(this, &QAbstractButton::clicked, this, [action = std::move(action)] {
        if (action) action();
    });
}

QSize PanelButton::sizeHint() const {
    const QFontMetrics metrics(font_);
    return QSize(14 + metrics.horizontalAdvance(text()) + 14, inset_ + metrics.height() + inset_);
}

void PanelButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (isHovering()) painter.fillRect(rect(), theme_.ink(0.07));
    painter.setFont(font_);
    painter.setPen(theme_.primary());
    painter.drawText(rect().adjusted(14, 0, -14, 0), Qt::AlignLeft | Qt::AlignVCenter, text());
}

MiniSwitch::MiniSwitch(const QString& label, const Theme& theme, QWidget* parent)
    : QAbstractButton(parent), theme_(theme) {
    setCheckable(true);
    setAccessibleName(label);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(sizeHint());
}

void MiniSwitch::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF track = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const double radius = track.height() / 2;
    painter.setPen(Qt::NoPen);
    painter.setBrush(isChecked() ? QColor(0x0A, 0x84, 0xFF) : theme_.ink(0.12));
    painter.drawRoundedRect(track, radius, radius);
    const double knob = track.height() - 2;
    const double x = isChecked() ? track.right() - 1 - knob : track.left() + 1;
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(x, track.top() + 1, knob, knob));
}

Spinner::Spinner(const Theme& theme, bool animated, QWidget* parent) : QWidget(parent), theme_(theme) {
    setFixedSize(sizeHint());
    timer_.setInterval(80);
    connect(&timer_, &QTimer::timeout, this, [this] {
        step_ = (step_ + 1) % 8;
        update();
    });
    if (animated) timer_.start();
}

void Spinner::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(rect().center() + QPointF(0.5, 0.5));
    for (int i = 0; i < 8; ++i) {
        const int age = (i - step_ + 8) % 8;
        painter.setPen(QPen(theme_.ink(0.15 + 0.6 * (7 - age) / 7.0), 1.6, Qt::SolidLine, Qt::RoundCap));
        painter.save();
        painter.rotate(45.0 * i);
        painter.drawLine(QPointF(0, -3.5), QPointF(0, -6.5));
        painter.restore();
    }
}

QPushButton* smallButton(const QString& title, bool prominent, const Theme& theme, std::function<void()> action,
                         QWidget* parent) {
    auto* button = new QPushButton(title, parent);
    button->setFont(Fonts::system(11));
    button->setFocusPolicy(Qt::NoFocus);
    const QString text = (prominent ? QColor(Qt::white) : theme.primary()).name(QColor::HexArgb);
    const QString fill = prominent ? QStringLiteral("#0A84FF") : theme.ink(theme.dark ? 0.14 : 0.06).name(QColor::HexArgb);
    const QString edge = prominent ? QStringLiteral("#0A84FF") : theme.ink(0.18).name(QColor::HexArgb);
    button->setStyleSheet(QStringLiteral("QPushButton { color: %1; background: %2; border: 1px solid %3; "
                                         "border-radius: 5px; padding: 2px 8px; }")
                              .arg(text, fill, edge));
    QObject::connect(button, &QPushButton::clicked, button, [action = std::move(action)] {
        if (action) action();
    });
    return button;
}

QLabel* textLabel(const QString& text, const QFont& font, const QColor& color, bool wrap, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    label->setWordWrap(wrap);
    label->setTextFormat(Qt::PlainText);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}

}  // namespace Parlox
