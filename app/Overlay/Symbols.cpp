#include "app/Overlay/Symbols.hpp"

#include <cmath>
#include <functional>
#include <map>
#include <string>

#include <QPainter>
#include <QPainterPathStroker>
#include <QTransform>

namespace Parlox {
namespace {

// Glyphs are designed in a unit square and built a hundred times larger,
// where curves flatten finely and path operations stay exact.
constexpr double designScale = 100;

QPainterPath big(const QPainterPath& unit) { return QTransform::fromScale(designScale, designScale).map(unit); }

// Strokes keep round ends.
QPainterPath stroked(const QPainterPath& line, double width) {
    QPainterPathStroker stroker;
    stroker.setWidth(width * designScale);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(big(line)).simplified();
}

QPainterPath polyline(std::initializer_list<QPointF> points) {
    QPainterPath path;
    bool first = true;
    for (const QPointF& p : points) {
        if (first) path.moveTo(p);
        else path.lineTo(p);
        first = false;
    }
    return path;
}

QPainterPath disc(QPointF centre, double radius) {
    QPainterPath path;
    path.addEllipse(centre, radius, radius);
    return big(path);
}

double strokeWidth(Symbols::Weight weight) {
    switch (weight) {
        case Symbols::Weight::regular: return 0.085;
        case Symbols::Weight::semibold: return 0.11;
        case Symbols::Weight::bold: return 0.13;
    }
    return 0.085;
}

QPainterPath checkmark(double w) { return stroked(polyline({{.15, .55}, {.40, .80}, {.85, .22}}), w); }

QPainterPath xmark(double w) {
    QPainterPath lines = polyline({{.22, .22}, {.78, .78}});
    lines.addPath(polyline({{.78, .22}, {.22, .78}}));
    return stroked(lines, w);
}

QPainterPath arrowClockwise(double w) {
    // An open circle turning clockwise, its head at the top pointing right.
    const QRectF ring(.5 - .32, .55 - .32, .64, .64);
    QPainterPath arc;
    arc.arcMoveTo(ring, 30);
    arc.arcTo(ring, 30, -300);
    QPainterPath head;
    const double top = .55 - .32;
    head.moveTo(.5 + .16, top);
    head.lineTo(.5 - .03, top - .14);
    head.lineTo(.5 - .03, top + .14);
    head.closeSubpath();
    return stroked(arc, w).united(stroked(head, w * 0.6).united(big(head)));
}

QPainterPath mic(double w) {
    QPainterPath body;
    body.addRoundedRect(QRectF(.37, .06, .26, .50), .13, .13);
    QPainterPath stand;
    const QRectF cup(.5 - .25, .42 - .25, .5, .5);
    stand.arcMoveTo(cup, 180);
    stand.arcTo(cup, 180, 180);
    stand.addPath(polyline({{.5, .67}, {.5, .90}}));
    stand.addPath(polyline({{.34, .90}, {.66, .90}}));
    return stroked(body, w).united(stroked(stand, w));
}

QPainterPath micSlash(double w) {
    const QPainterPath slash = polyline({{.16, .08}, {.84, .92}});
    return mic(w).subtracted(stroked(slash, w * 3)).united(stroked(slash, w));
}

QPainterPath circleFill(double) { return disc({.5, .5}, .42); }

QPainterPath circle(double w) {
    QPainterPath ring;
    ring.addEllipse(QPointF(.5, .5), .38, .38);
    return stroked(ring, std::max(w * 1.4, .12));
}

QPainterPath circleDotted(double w) {
    QPainterPath dots;
    const double radius = std::max(w * 0.8, .07);
    for (int i = 0; i < 8; ++i) {
        const double angle = i * M_PI / 4;
        dots.addPath(disc({.5 + .38 * std::cos(angle), .5 + .38 * std::sin(angle)}, radius));
    }
    return dots.simplified();
}

QPainterPath checkmarkCircleFill(double w) {
    const QPainterPath check = stroked(polyline({{.29, .52}, {.44, .67}, {.71, .35}}), w * 1.1);
    return disc({.5, .5}, .46).subtracted(check);
}

QPainterPath exclamationTriangleFill(double) {
    QPainterPath triangle = polyline({{.5, .10}, {.94, .87}, {.06, .87}});
    triangle.closeSubpath();
    QPainterPath shape = stroked(triangle, .1).united(big(triangle));
    QPainterPath bar;
    bar.addRoundedRect(QRectF(.455, .34, .09, .30), .045, .045);
    return shape.subtracted(big(bar)).subtracted(disc({.5, .76}, .055));
}

QPainterPath textAlignLeft(double w) {
    // Four lines of text aligned at the left.
    static const double lengths[] = {.8, 1.0, .59, .85};
    QPainterPath lines;
    for (int i = 0; i < 4; ++i) {
        const double y = .2 + i * .2;
        lines.addPath(polyline({{.12, y}, {.12 + .76 * lengths[i], y}}));
    }
    return stroked(lines, std::max(w * 1.2, .1));
}

QPainterPath moonFill(double) { return disc({.5, .5}, .40).subtracted(disc({.72, .30}, .34)); }

using Recipe = std::function<QPainterPath(double)>;

const std::map<std::string, Recipe, std::less<>>& recipes() {
    static const std::map<std::string, Recipe, std::less<>> table = {
        {"checkmark", checkmark},
        {"xmark", xmark},
        {"arrow.clockwise", arrowClockwise},
        {"mic", mic},
        {"mic.slash", micSlash},
        {"circle.fill", circleFill},
        {"circle", circle},
        {"circle.dotted", circleDotted},
        {"checkmark.circle.fill", checkmarkCircleFill},
        {"exclamationmark.triangle.fill", exclamationTriangleFill},
        {"text.alignleft", textAlignLeft},
        {"moon.fill", moonFill},
    };
    return table;
}

}  // namespace

bool Symbols::isKnown(std::string_view name) { return recipes().find(name) != recipes().end(); }

QPainterPath Symbols::path(std::string_view name, double size, Weight weight) {
    const auto found = recipes().find(name);
    if (found == recipes().end()) return {};
    QPainterPath designed = found->second(strokeWidth(weight));
    return QTransform::fromScale(size / designScale, size / designScale).map(designed);
}

void Symbols::paint(QPainter& painter, std::string_view name, const QRectF& box, const QColor& color,
                    Weight weight) {
    const double size = std::min(box.width(), box.height());
    const QPainterPath glyph = path(name, size, weight);
    if (glyph.isEmpty()) return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(box.center() - QPointF(size / 2, size / 2));
    painter.fillPath(glyph, color);
    painter.restore();
}

QPixmap Symbols::pixmap(std::string_view name, double size, const QColor& color, Weight weight,
                        double devicePixelRatio) {
    const int pixels = int(std::ceil(size * devicePixelRatio));
    QPixmap image(pixels, pixels);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    paint(painter, name, QRectF(0, 0, size, size), color, weight);
    return image;
}

}  // namespace Parlox
