#pragma once

#include <functional>
#include <optional>

#include <QFont>
#include <QTimer>
#include <QVariantAnimation>
#include <QWidget>

#include "app/Overlay/OverlayModel.hpp"
#include "app/Overlay/OverlayPresentation.hpp"
#include "app/Overlay/PillButtons.hpp"
#include "app/Overlay/Theme.hpp"
#include "app/Overlay/VoiceGlow.hpp"
#include "platform/concurrency/Signal.hpp"
#include "platform/foundation/Date.hpp"

namespace Parlox {

// The recording indicator as the user sees it: a capsule (the pill) with
// the row of the model's state, its glow and its buttons, 18 px inside the
// view's leading edge. Live, the view is 376 x 80 and animates its changes;
// as a snapshot it is exactly the padded pill and draws the final picture.
class OverlayView : public QWidget {
    Q_OBJECT
public:
    static constexpr double padding = 18;
    static constexpr double pillHeight = 44;
    static constexpr double liveWidth = 376;
    static constexpr double liveHeight = 80;

    using Now = std::function<platform::Date()>;

    OverlayView(OverlayModel& model, bool snapshot, Now now = platform::now, QWidget* parent = nullptr);
    ~OverlayView() override;

    // Draws in this scheme; by default the desktop's.
    void setTheme(const Theme& theme);
    // Whether a live view moves between its states. A window that cannot be
    // translucent shows black wherever the pill is not painted, so there the
    // pill appears, changes and stays whole until its window goes.
    void setAnimated(bool animated);
    bool isAnimated() const { return animated_; }
    const Theme& theme() const { return theme_; }

    const OverlayPresentation& presentation() const { return current_; }
    // The pill as it stands when no animation runs, in view coordinates; empty while hidden.
    QRectF pillRect() const;
    // The text the clock shows now.
    QString clockText() const;

    QSize sizeHint() const override;

    // Where each part of a row goes, from the pill's top-left corner.
    struct RowLayout {
        double width = 0;
        QRectF icon, clock, symbol, text, disc;
        QString shownText;
    };
    RowLayout layoutRow(const OverlayPresentation& presentation) const;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void stateChanged();
    void configureButtons();
    void positionButtons();
    bool transitionRunning() const;
    void paintRow(QPainter& painter, const OverlayPresentation& p, const RowLayout& layout, QPointF origin,
                  bool drawButtons) const;
    QColor textColor() const;
    QFont textFont() const;
    QFont clockFont() const;
    double glowTime() const;

    OverlayModel& model_;
    const bool snapshot_;
    bool animated_ = true;
    Now now_;
    Theme theme_;

    OverlayPresentation current_;
    OverlayPresentation previous_;  // fading out during a content swap
    OverlayPresentation lastShown_;  // drawn while the pill leaves

    PlainIcon* icon_;
    DiscButton* disc_;
    VoiceGlowClock glowClock_;
    QTimer clockTimer_;

    // Animation state: the pill's presence (0 gone, 1 shown), its width and
    // the progress of a content swap, in seconds since it began.
    double presence_ = 0;
    double width_ = 0;
    QVariantAnimation presenceAnimation_;
    QVariantAnimation widthAnimation_;
    QVariantAnimation swapAnimation_;

    platform::Connection stateConnection_;
    platform::Connection glowConnection_;
    platform::Connection clockConnection_;
    platform::Connection shortcutConnection_;
};

}  // namespace Parlox
