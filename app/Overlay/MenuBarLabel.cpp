#include "app/Overlay/MenuBarLabel.hpp"

#include <cmath>

#include <QPainter>
#include <QPixmap>

#include "app/Overlay/Symbols.hpp"

namespace Parlox {
namespace {

using Kind = DictationController::Phase::Kind;

// Lines of 15 px (the menu font plus 2), the moon at 7 px bold at their top
// right, the 6 px badge 4 px after them, all in a square icon.
constexpr double lines = 15;
constexpr double moon = 7;
constexpr double badge = 6;
constexpr double spacing = 4;
constexpr double side = lines + 1 + moon + spacing + badge;

}  // namespace

MenuBarLabel::Look MenuBarLabel::look(const DictationController::Phase& phase, const Transcriber::State& model,
                                      bool keepAwakeUnlocked, bool keepAwakeOn) {
    Look look;
    look.sleepy = keepAwakeUnlocked && !keepAwakeOn;
    switch (phase.kind) {
        case Kind::capturing:
        case Kind::recording: look.badge = Badge{"circle.fill", Tint::red}; break;
        case Kind::paused: look.badge = Badge{"circle", Tint::none}; break;
        case Kind::transcribing:
        case Kind::writing: look.badge = Badge{"circle.dotted", Tint::none}; break;
        case Kind::failed: look.badge = Badge{"circle.fill", Tint::orange}; break;
        case Kind::idle:
            if (!model.isReady()) look.badge = Badge{"circle.dotted", Tint::none};
            break;
    }
    return look;
}

QImage MenuBarLabel::image(const Look& look, const QColor& ink, const Theme& theme, double scale) {
    QImage image(QSize(int(std::ceil(side * scale)), int(std::ceil(side * scale))), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    const double top = (side - lines) / 2;
    Symbols::paint(painter, "text.alignleft", QRectF(0, top, lines, lines), ink);
    double right = lines;
    if (look.sleepy) {
        Symbols::paint(painter, "moon.fill", QRectF(lines + 1, top, moon, moon), ink, Symbols::Weight::bold);
        right = lines + 1 + moon;
    }
    if (look.badge) {
        QColor color = ink;
        if (look.badge->tint == Tint::red) color = theme.red();
        if (look.badge->tint == Tint::orange) color = theme.orange();
        Symbols::paint(painter, look.badge->symbol, QRectF(right + spacing, (side - badge) / 2, badge, badge), color);
    }
    return image;
}

QIcon MenuBarLabel::icon(const Look& look, const QColor& ink, const Theme& theme) {
    QIcon icon;
    for (double scale : {1.0, 2.0}) icon.addPixmap(QPixmap::fromImage(image(look, ink, theme, scale)));
    return icon;
}

QString MenuBarLabel::description(const Look& look) {
    return look.sleepy ? QStringLiteral("Parlox, el ordenador puede dormirse") : QStringLiteral("Parlox");
}

}  // namespace Parlox
