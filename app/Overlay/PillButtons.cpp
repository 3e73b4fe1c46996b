#include "app/Overlay/PillButtons.hpp"

#include <QPainter>
#include <QPainterPath>

namespace Parlox {

RoundButton::RoundButton(const QString& help, QWidget* parent) : HoverButton(parent) {
    setFixedSize(side, side);
    setCursor(Qt::ArrowCursor);
    setHelp(help);
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (action_) action_();
    });
}

void RoundButton::setHelp(const QString& help) {
    setToolTip(help);
    setAccessibleName(help);
}

void RoundButton::setTheme(const Theme& theme) {
    theme_ = theme;
    update();
}

bool RoundButton::hitButton(const QPoint& pos) const {
    const QPointF d = QPointF(pos) - QRectF(rect()).center();
    return d.x() * d.x() + d.y() * d.y() <= (side / 2.0) * (side / 2.0);
}

PlainIcon::PlainIcon(const QString& symbol, const QString& help, QWidget* parent)
    : RoundButton(help, parent), symbol_(symbol) {
    replace_.setDuration(200);
    replace_.setStartValue(0.0);
    replace_.setEndValue(1.0);
    connect(&replace_, &QVariantAnimation::valueChanged, this, [this] { update(); });
}

void PlainIcon::setSymbol(const QString& symbol, bool animated) {
    if (symbol == symbol_) return;
    previous_ = symbol_;
    symbol_ = symbol;
    replace_.stop();
    if (animated) replace_.start();
    update();
}

void PlainIcon::setColor(const QColor& color) {
    color_ = color;
    update();
}

void PlainIcon::paint(QPainter& painter, const QRectF& box, const QString& symbol, const QColor& color,
                      bool hovering, const Theme& theme) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (hovering) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(theme.ink(0.08));
        painter.drawEllipse(box);
    }
    const QRectF glyph(box.center().x() - 7.5, box.center().y() - 7.5, 15, 15);
    Symbols::paint(painter, symbol.toStdString(), glyph, color, Symbols::Weight::regular);
    painter.restore();
}

void PlainIcon::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const bool replacing = replace_.state() == QAbstractAnimation::Running && !previous_.isEmpty();
    if (!replacing) {
        paint(painter, rect(), symbol_, color_, isHovering(), theme());
        return;
    }
    // The old symbol fades and shrinks away while the new one comes in.
    const double progress = replace_.currentValue().toDouble();
    paint(painter, rect(), QString(), color_, isHovering(), theme());
    painter.setOpacity(1 - progress);
    paint(painter, rect(), previous_, color_, false, theme());
    painter.setOpacity(progress);
    paint(painter, rect(), symbol_, color_, false, theme());
}

DiscButton::DiscButton(const QString& symbol, double symbolSize, Symbols::Weight weight, const QString& help,
                       QWidget* parent)
    : RoundButton(help, parent), symbol_(symbol), symbolSize_(symbolSize), weight_(weight) {}

void DiscButton::setSymbol(const QString& symbol, double symbolSize, Symbols::Weight weight) {
    symbol_ = symbol;
    symbolSize_ = symbolSize;
    weight_ = weight;
    update();
}

void DiscButton::paint(QPainter& painter, const QRectF& box, const QString& symbol, double symbolSize,
                       Symbols::Weight weight, bool hovering, const Theme& theme) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(theme.ink(hovering ? 0.20 : 0.12));
    painter.drawEllipse(box);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(theme.ink(0.08), 0.5));
    painter.drawEllipse(box.adjusted(0.25, 0.25, -0.25, -0.25));
    QColor label = theme.primary();
    label.setAlphaF(label.alphaF() * 0.8f);
    const QRectF glyph(box.center().x() - symbolSize / 2, box.center().y() - symbolSize / 2, symbolSize, symbolSize);
    Symbols::paint(painter, symbol.toStdString(), glyph, label, weight);
    painter.restore();
}

void DiscButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paint(painter, rect(), symbol_, symbolSize_, weight_, isHovering(), theme());
}

}  // namespace Parlox
