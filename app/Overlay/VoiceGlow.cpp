#include "app/Overlay/VoiceGlow.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "app/Overlay/GlassPill.hpp"

namespace Parlox {

QColor VoiceGlow::cyan() { return QColor::fromRgbF(0.35f, 0.90f, 0.95f); }
QColor VoiceGlow::violet() { return QColor::fromRgbF(0.62f, 0.40f, 1.00f); }
QColor VoiceGlow::magenta() { return QColor::fromRgbF(0.93f, 0.36f, 0.85f); }
QColor VoiceGlow::pink() { return QColor::fromRgbF(1.00f, 0.45f, 0.62f); }
QColor VoiceGlow::orange() { return QColor::fromRgbF(1.00f, 0.66f, 0.30f); }

double VoiceGlow::referenceSeconds() {
    using namespace std::chrono;
    constexpr double unixAtReference = 978307200.0;
    return duration<double>(system_clock::now().time_since_epoch()).count() - unixAtReference;
}

VoiceGlow::Frame VoiceGlow::frame(Mode mode, double level, double w, double h, double t) {
    Frame f;
    switch (mode) {
        case Mode::voice:
            f.intensity = std::min(level * 1.3, 1.0);
            f.centreX = w / 2;
            break;
        case Mode::beam:
            f.intensity = 0.45;
            f.centreX = w / 2 + std::sin(1.7 * t) * 0.28 * w;
            break;
        case Mode::off:
            f.intensity = 0;
            f.centreX = w / 2;
            break;
    }
    const double I = f.intensity;
    const double X = f.centreX;
    struct Spec {
        QColor color;
        double x, width, height, speed, phase, opacity;
    };
    const Spec specs[4] = {
        {cyan(), X - 0.15 * w, 0.24 * w, h * (0.30 + 0.40 * I), 0.9, 0.4, 1.0},
        {violet(), X - 0.04 * w, 0.32 * w, h * (0.35 + 0.65 * I), 0.6, 1.7, 1.0},
        {magenta(), X + 0.05 * w, 0.28 * w, h * (0.30 + 0.55 * I), 0.8, 2.9, 1.0},
        {orange(), X + 0.16 * w, 0.22 * w, h * (0.25 + 0.35 * I), 1.0, 4.1, 0.8},
    };
    for (size_t i = 0; i < 4; ++i) {
        const Spec& s = specs[i];
        const double cx = s.x + s.width * 0.035 * std::sin(t * s.speed + s.phase);
        // Centred on the pill's bottom edge.
        f.lobes[i] = Lobe{s.color, QRectF(cx - s.width / 2, h - s.height / 2, s.width, s.height), s.opacity};
    }
    // Off is faded out as a whole (the clock's opacity), not by these.
    f.lobesOpacity = 0.22 + 0.38 * I;
    const double lineWidth = mode == Mode::beam ? w * 0.36 : w * (0.42 + 0.2 * I);
    f.line = QRectF(X - lineWidth / 2, h - 1.5 - 1.25, lineWidth, 2.5);
    f.lineOpacity = 0.45 + 0.55 * I;
    return f;
}

void VoiceGlow::paint(QPainter& painter, QPointF origin, const Frame& f, const Theme& theme, double opacity) {
    if (opacity <= 0) return;
    painter.save();
    painter.translate(origin);
    // Light adds up on a dark capsule; on a light one the colours lie over it.
    painter.setCompositionMode(theme.dark ? QPainter::CompositionMode_Plus : QPainter::CompositionMode_SourceOver);

    // The lobes lie over one another in one layer, blurred once and drawn
    // at the stack's opacity, so where they overlap they do not add up.
    QRectF area;
    for (const Lobe& lobe : f.lobes) area = area.united(lobe.ellipse);
    painter.setOpacity(opacity * f.lobesOpacity);
    paintBlurred(painter, area, 8, QPointF(), [&f](QPainter& layer) {
        layer.setPen(Qt::NoPen);
        for (const Lobe& lobe : f.lobes) {
            QColor color = lobe.color;
            color.setAlphaF(float(lobe.opacity));
            layer.setBrush(color);
            layer.drawEllipse(lobe.ellipse);
        }
    });

    QLinearGradient gradient(f.line.topLeft(), f.line.topRight());
    QColor clearCyan = cyan();
    clearCyan.setAlphaF(0);
    QColor clearOrange = orange();
    clearOrange.setAlphaF(0);
    gradient.setColorAt(0, clearCyan);
    gradient.setColorAt(0.18, cyan());
    gradient.setColorAt(0.45, Qt::white);
    gradient.setColorAt(0.58, Qt::white);
    gradient.setColorAt(0.8, pink());
    gradient.setColorAt(1, clearOrange);
    painter.setOpacity(opacity * f.lineOpacity);
    QPainterPath line;
    line.addRoundedRect(f.line, 1.25, 1.25);
    // A soft edge: the line is blurred a little too.
    paintBlurred(painter, f.line, 0.8, QPointF(), [&](QPainter& layer) { layer.fillPath(line, gradient); });
    painter.restore();
}

VoiceGlowClock::VoiceGlowClock(QObject* parent) : QObject(parent) {
    timer_.setInterval(1000 / 30);
    connect(&timer_, &QTimer::timeout, this, &VoiceGlowClock::frameDue);
    fade_.setDuration(350);
    fade_.setEasingCurve(QEasingCurve::OutCubic);
    connect(&fade_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        opacity_ = value.toDouble();
        Q_EMIT frameDue();
    });
}

void VoiceGlowClock::setMode(VoiceGlow::Mode mode) {
    if (mode == mode_) return;
    mode_ = mode;
    fade_.stop();
    fade_.setStartValue(opacity_);
    fade_.setEndValue(mode == VoiceGlow::Mode::off ? 0.0 : 1.0);
    fade_.start();
    if (mode == VoiceGlow::Mode::off) timer_.stop();
    else timer_.start();
}

void VoiceGlowClock::finish() {
    fade_.stop();
    opacity_ = mode_ == VoiceGlow::Mode::off ? 0.0 : 1.0;
    Q_EMIT frameDue();
}

}  // namespace Parlox
