#pragma once

#include <array>
#include <functional>

#include <QColor>
#include <QObject>
#include <QRectF>
#include <QTimer>
#include <QVariantAnimation>

#include "app/Overlay/Theme.hpp"

class QPainter;

namespace Parlox {

// The coloured glow inside the indicator's capsule: it follows the voice
// while recording and sweeps like a beam while the answer is written.
struct VoiceGlow {
    enum class Mode { voice, beam, off };

    static QColor cyan();
    static QColor violet();
    static QColor magenta();
    static QColor pink();
    static QColor orange();

    struct Lobe {
        QColor color;
        QRectF ellipse;  // in the glow's own coordinates
        double opacity = 1;
    };
    // Everything one frame draws, from mode, level, size and time alone.
    struct Frame {
        double intensity = 0;
        double centreX = 0;
        std::array<Lobe, 4> lobes;
        double lobesOpacity = 0;
        QRectF line;
        double lineOpacity = 0;
    };

    // `t` is seconds since 1 January 2001; `w` and `h` the pill's size.
    static Frame frame(Mode mode, double level, double w, double h, double t);
    // Draws a frame at `origin` (the pill's top-left) with the whole glow at
    // `opacity` (its fade); the caller clips it to the capsule.
    static void paint(QPainter& painter, QPointF origin, const Frame& frame, const Theme& theme, double opacity);

    // Seconds since 1 January 2001 for the system clock's now.
    static double referenceSeconds();
};

// Drives a live glow: redraws at most 30 times a second while the mode is
// not off, and fades the glow in and out over 0.35 s when the mode changes.
class VoiceGlowClock : public QObject {
    Q_OBJECT
public:
    explicit VoiceGlowClock(QObject* parent = nullptr);

    VoiceGlow::Mode mode() const { return mode_; }
    void setMode(VoiceGlow::Mode mode);
    double opacity() const { return opacity_; }
    bool isTicking() const { return timer_.isActive(); }
    // Jumps to the end of a fade (still pictures).
    void finish();

Q_SIGNALS:
    void frameDue();

private:
    VoiceGlow::Mode mode_ = VoiceGlow::Mode::off;
    double opacity_ = 0;
    QTimer timer_;
    QVariantAnimation fade_;
};

}  // namespace Parlox
