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

// ---- The windows' pictograms ----

QPainterPath roundedRect(const QRectF& rect, double radius) {
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

QPainterPath keyboard(double w) {
    QPainterPath keys;
    for (int row = 0; row < 2; ++row)
        for (int column = 0; column < 5; ++column)
            keys.addPath(disc({.24 + column * .13, .39 + row * .12}, .032));
    return stroked(roundedRect(QRectF(.07, .24, .86, .52), .09), w)
        .united(keys)
        .united(stroked(polyline({{.32, .64}, {.68, .64}}), w));
}

QPainterPath lockShield(double w) {
    QPainterPath shield;
    shield.moveTo(.5, .06);
    shield.cubicTo(.62, .14, .76, .17, .86, .18);
    shield.cubicTo(.87, .58, .74, .80, .5, .94);
    shield.cubicTo(.26, .80, .13, .58, .14, .18);
    shield.cubicTo(.24, .17, .38, .14, .5, .06);
    QPainterPath shackle;
    const QRectF loop(.41, .34, .18, .2);
    shackle.arcMoveTo(loop, 180);
    shackle.arcTo(loop, 180, -180);
    return stroked(shield, w)
        .united(big(roundedRect(QRectF(.36, .46, .28, .22), .04)))
        .united(stroked(shackle, w * .8));
}

QPainterPath arrowUturnBackward(double w) {
    QPainterPath line = polyline({{.16, .34}, {.62, .34}});
    const QRectF turn(.40, .34, .44, .44);
    line.arcTo(turn, 90, -180);
    line.lineTo(.40, .78);
    return stroked(line, w).united(stroked(polyline({{.32, .17}, {.15, .34}, {.32, .51}}), w));
}

QPainterPath accessibility(double w) {
    QPainterPath figure = polyline({{.2, .36}, {.5, .40}, {.8, .36}});
    figure.addPath(polyline({{.5, .40}, {.5, .62}}));
    figure.addPath(polyline({{.34, .88}, {.5, .62}, {.66, .88}}));
    return disc({.5, .2}, .08).united(stroked(figure, w * 1.1));
}

QPainterPath macwindow(double w) {
    return stroked(roundedRect(QRectF(.08, .16, .84, .68), .08), w)
        .united(stroked(polyline({{.08, .34}, {.92, .34}}), w));
}

QPainterPath waveform(double w) {
    static const double heights[] = {.18, .46, .78, .42, .62, .30, .14};
    QPainterPath bars;
    for (int i = 0; i < 7; ++i) {
        const double x = .14 + i * .12;
        bars.addPath(polyline({{x, .5 - heights[i] / 2}, {x, .5 + heights[i] / 2}}));
    }
    return stroked(bars, w);
}

QPainterPath textBubble(double w) {
    QPainterPath bubble = roundedRect(QRectF(.08, .12, .84, .58), .14);
    QPainterPath tail = polyline({{.28, .70}, {.22, .88}, {.46, .70}});
    QPainterPath lines = polyline({{.26, .33}, {.74, .33}});
    lines.addPath(polyline({{.26, .50}, {.60, .50}}));
    return stroked(bubble, w).united(stroked(tail, w)).united(stroked(lines, w));
}

QPainterPath star(QPointF centre, double radius) {
    QPainterPath path;
    const QPointF top = centre + QPointF(0, -radius), right = centre + QPointF(radius, 0);
    const QPointF bottom = centre + QPointF(0, radius), left = centre + QPointF(-radius, 0);
    path.moveTo(top);
    path.quadTo(centre, right);
    path.quadTo(centre, bottom);
    path.quadTo(centre, left);
    path.quadTo(centre, top);
    return big(path);
}

QPainterPath sparkles(double) { return star({.40, .58}, .34).united(star({.76, .22}, .15)).united(star({.80, .80}, .09)); }

QPainterPath exclamationCircleFill(double) {
    QPainterPath bar;
    bar.addRoundedRect(QRectF(.455, .22, .09, .36), .045, .045);
    return disc({.5, .5}, .46).subtracted(big(bar)).subtracted(disc({.5, .72}, .055));
}

QPainterPath gearshape(double) {
    QPainterPath gear = disc({.5, .5}, .32);
    for (int i = 0; i < 8; ++i) {
        QTransform turn;
        turn.translate(.5, .5);
        turn.rotate(i * 45);
        gear = gear.united(big(turn.map(roundedRect(QRectF(-.08, -.44, .16, .2), .04))));
    }
    return gear.subtracted(disc({.5, .5}, .13));
}

QPainterPath textCursor(double w) {
    QPainterPath beam = polyline({{.5, .16}, {.5, .84}});
    beam.addPath(polyline({{.36, .12}, {.44, .16}, {.56, .16}, {.64, .12}}));
    beam.addPath(polyline({{.36, .88}, {.44, .84}, {.56, .84}, {.64, .88}}));
    return stroked(beam, w);
}

QPainterPath lock(double w) {
    QPainterPath shackle;
    const QRectF loop(.32, .12, .36, .40);
    shackle.arcMoveTo(loop, 180);
    shackle.arcTo(loop, 180, -180);
    shackle.lineTo(.68, .44);
    shackle.moveTo(.32, .32);
    shackle.lineTo(.32, .44);
    return stroked(roundedRect(QRectF(.2, .44, .6, .44), .08), w).united(stroked(shackle, w));
}

QPainterPath internaldrive(double w) {
    return stroked(roundedRect(QRectF(.06, .30, .88, .40), .08), w)
        .united(stroked(polyline({{.16, .5}, {.46, .5}}), w))
        .united(disc({.78, .5}, .05));
}

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
        {"keyboard", keyboard},
        {"lock.shield", lockShield},
        {"arrow.uturn.backward", arrowUturnBackward},
        {"accessibility", accessibility},
        {"macwindow", macwindow},
        {"waveform", waveform},
        {"text.bubble", textBubble},
        {"sparkles", sparkles},
        {"exclamationmark.circle.fill", exclamationCircleFill},
        {"gearshape", gearshape},
        {"text.cursor", textCursor},
        {"lock", lock},
        {"internaldrive", internaldrive},
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
