#pragma once

#include <QColor>
#include <QPainterPath>
#include <QRectF>

#include "app/Overlay/Theme.hpp"

class QPainter;

namespace Parlox {

// The capsule behind the indicator's content: two shadows, a grey fill and
// a thin edge over the content. Always the drawn capsule; there is no glass
// material to use here.
struct GlassPill {
    static QPainterPath capsule(const QRectF& rect);
    // sRGB grey 0.97 (light) or 0.14 (dark), the whole fill at 0.92.
    static QColor fill(const Theme& theme);
    static QColor edge(const Theme& theme);

    // Shadows, then the fill; the content is drawn after this.
    static void paintBackground(QPainter& painter, const QRectF& pill, const Theme& theme);
    // The edge, laid over the content.
    static void paintEdge(QPainter& painter, const QRectF& pill, const Theme& theme);
};

// A blurred copy of a filled shape, for shadows and glows: the shape in
// `color`, blurred by `radius`, drawn `offset` away from where it stands.
void paintBlurredShape(QPainter& painter, const QPainterPath& shape, const QColor& color, double radius,
                       QPointF offset);

}  // namespace Parlox
