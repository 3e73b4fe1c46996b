#pragma once

#include <functional>

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

// A blurred layer, for shadows and glows: what `draw` paints inside `area`
// (in the painter's coordinates), blurred by `radius` as one picture and
// drawn `offset` away from where it stands with the painter's opacity and
// composition.
void paintBlurred(QPainter& painter, const QRectF& area, double radius, QPointF offset,
                  const std::function<void(QPainter&)>& draw);

// A blurred copy of a filled shape: the shape in `color`, as above.
void paintBlurredShape(QPainter& painter, const QPainterPath& shape, const QColor& color, double radius,
                       QPointF offset);

}  // namespace Parlox
