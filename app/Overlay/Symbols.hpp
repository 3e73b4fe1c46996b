#pragma once

#include <string_view>

#include <QColor>
#include <QPainterPath>
#include <QPixmap>
#include <QRectF>

class QPainter;

namespace Parlox {

// The small pictograms the views show, drawn by us and looked up by name
// ("mic", "checkmark.circle.fill", ...). Each is a filled outline in a square.
struct Symbols {
    enum class Weight { regular, semibold, bold };

    static bool isKnown(std::string_view name);
    // The symbol in a square of `size` pixels with its corner at the origin;
    // empty for a name we do not draw.
    static QPainterPath path(std::string_view name, double size, Weight weight = Weight::regular);
    // Fills the symbol centred in `box`, as large as the box's shorter side.
    static void paint(QPainter& painter, std::string_view name, const QRectF& box, const QColor& color,
                      Weight weight = Weight::regular);
    static QPixmap pixmap(std::string_view name, double size, const QColor& color, Weight weight = Weight::regular,
                          double devicePixelRatio = 1.0);
};

}  // namespace Parlox
