#include "app/Overlay/GlassPill.hpp"

#include <cmath>

#include <QPainter>
#include <QPaintDevice>

#include "app/Overlay/Blur.hpp"

namespace Parlox {

QPainterPath GlassPill::capsule(const QRectF& rect) {
    QPainterPath path;
    const double radius = std::min(rect.width(), rect.height()) / 2;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

QColor GlassPill::fill(const Theme& theme) {
    const float white = theme.dark ? 0.14f : 0.97f;
    return QColor::fromRgbF(white, white, white, 0.92f);
}

QColor GlassPill::edge(const Theme& theme) { return theme.ink(theme.dark ? 0.16 : 0.12); }

void paintBlurred(QPainter& painter, const QRectF& area, double radius, QPointF offset,
                  const std::function<void(QPainter&)>& draw) {
    const double scale = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const double pad = std::ceil(radius * 1.5 + 2);
    const QRectF bounds = area.adjusted(-pad, -pad, pad, pad);
    QImage image(QSize(int(std::ceil(bounds.width() * scale)), int(std::ceil(bounds.height() * scale))),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.translate(-bounds.topLeft());
        draw(p);
    }
    Blur::apply(image, radius);
    painter.drawImage(bounds.topLeft() + offset, image);
}

void paintBlurredShape(QPainter& painter, const QPainterPath& shape, const QColor& color, double radius,
                       QPointF offset) {
    paintBlurred(painter, shape.boundingRect(), radius, offset, [&](QPainter& p) { p.fillPath(shape, color); });
}

void GlassPill::paintBackground(QPainter& painter, const QRectF& pill, const Theme& theme) {
    const QPainterPath shape = capsule(pill);
    // The shadows fall from the filled capsule, whose own opacity is 0.92.
    paintBlurredShape(painter, shape, QColor::fromRgbF(0, 0, 0, float(0.92 * (theme.dark ? 0.35 : 0.16))), 9,
                      QPointF(0, 3));
    paintBlurredShape(painter, shape, QColor::fromRgbF(0, 0, 0, float(0.92 * 0.08)), 1.5, QPointF(0, 0.5));
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(shape, fill(theme));
    painter.restore();
}

void GlassPill::paintEdge(QPainter& painter, const QRectF& pill, const Theme& theme) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(edge(theme), 0.5));
    painter.drawPath(capsule(pill.adjusted(0.25, 0.25, -0.25, -0.25)));
    painter.restore();
}

}  // namespace Parlox
