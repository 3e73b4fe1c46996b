#include "app/Overlay/ParloxMark.hpp"

#include <cmath>

#include <QFontMetricsF>
#include <QPainter>

#include "app/Overlay/Fonts.hpp"

namespace Parlox {

QPainterPath ParloxMark::path(const QRectF& r) {
    const double h = r.height() * 0.19;
    const double gap = r.height() * 0.08;
    const double top = r.center().y() - (4 * h + 3 * gap) * 0.5;
    QPainterPath bars;
    bars.setFillRule(Qt::WindingFill);
    for (int i = 0; i < 4; ++i) {
        bars.addRoundedRect(QRectF(r.left(), top + i * (h + gap), barWidths[i] * r.width(), h), h / 2, h / 2);
    }
    return bars;
}

void ParloxMark::paint(QPainter& painter, const QRectF& rect, const QColor& color) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(path(rect), color);
    painter.restore();
}

WordMark::WordMark(double size, QWidget* parent) : QWidget(parent), size_(size) {
    setAttribute(Qt::WA_TranslucentBackground);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QColor WordMark::ink(const Theme& theme) {
    return theme.dark ? QColor::fromRgbF(0.561f, 0.506f, 1.0f) : QColor::fromRgbF(0.149f, 0.106f, 0.447f);
}

QFont WordMark::wordFont() const { return Fonts::system(size_, QFont::DemiBold); }

// The mark stands on the word's baseline, as a row aligned on its first baseline does.
QRectF WordMark::markRect() const {
    const QFontMetricsF metrics(wordFont());
    const double side = size_ * 0.78;
    const double rowTop = 0;
    const double baseline = rowTop + std::max(metrics.ascent(), side);
    return QRectF(0, baseline - side, side, side);
}

QPointF WordMark::wordOrigin() const {
    const QFontMetricsF metrics(wordFont());
    const double side = size_ * 0.78;
    return QPointF(side + size_ * 0.46, std::max(metrics.ascent(), side));
}

QSize WordMark::sizeHint() const {
    const QFontMetricsF metrics(wordFont());
    const QPointF origin = wordOrigin();
    return QSize(int(std::ceil(origin.x() + metrics.horizontalAdvance(QStringLiteral("Parlox")))),
                 int(std::ceil(origin.y() + metrics.descent())));
}

void WordMark::setTheme(const Theme& theme) {
    theme_ = theme;
    update();
}

void WordMark::paintEvent(QPaintEvent*) {
    const Theme theme = theme_.value_or(Theme::current());
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    ParloxMark::paint(painter, markRect(), ink(theme));
    painter.setFont(wordFont());
    painter.setPen(theme_ ? theme.primary() : palette().color(QPalette::WindowText));
    painter.drawText(wordOrigin(), QStringLiteral("Parlox"));
}

}  // namespace Parlox
