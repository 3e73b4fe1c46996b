#include "app/Overlay/OverlayView.hpp"

#include <algorithm>
#include <cmath>

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include "app/Hotkey/DictationShortcut.hpp"
#include "app/Overlay/Fonts.hpp"
#include "app/Overlay/GlassPill.hpp"

namespace Parlox {
namespace {

using Row = OverlayPresentation::Row;

// A damped spring (response 0.34 s, damping 0.74) played over 0.45 s.
constexpr double springSeconds = 0.45;

qreal spring(qreal progress) {
    const double zeta = 0.74;
    const double omega = 2 * M_PI / 0.34;
    const double damped = omega * std::sqrt(1 - zeta * zeta);
    const double t = progress * springSeconds;
    if (progress >= 1) return 1;
    return 1 - std::exp(-zeta * omega * t) * (std::cos(damped * t) + zeta * omega / damped * std::sin(damped * t));
}

QEasingCurve springCurve() {
    QEasingCurve curve;
    curve.setCustomType(spring);
    return curve;
}

// A content swap: the old row fades out over 0.1 s (ease-in); the new one
// grows from 0.9 and fades in over 0.22 s (ease-out) after 0.08 s.
constexpr int swapMilliseconds = 300;

double fadeOutOpacity(double ms) {
    const double t = std::clamp(ms / 100.0, 0.0, 1.0);
    return 1 - t * t;
}

double fadeInProgress(double ms) {
    const double t = std::clamp((ms - 80) / 220.0, 0.0, 1.0);
    return 1 - (1 - t) * (1 - t);
}

// The widest pill a live panel shows whole: longer texts are elided so the
// buttons after them stay on the panel.
constexpr double livePillLimit = OverlayView::liveWidth - 2 * OverlayView::padding;

}  // namespace

OverlayView::OverlayView(OverlayModel& model, bool snapshot, Now now, QWidget* parent)
    : QWidget(parent),
      model_(model),
      snapshot_(snapshot),
      now_(now ? std::move(now) : Now(platform::now)),
      theme_(Theme::current()),
      icon_(new PlainIcon("mic", "Pausar", this)),
      disc_(new DiscButton("checkmark", 12, Symbols::Weight::semibold, "", this)) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
    if (!snapshot_) setFixedSize(int(liveWidth), int(liveHeight));
    icon_->hide();
    disc_->hide();
    // The controls call whatever action the model holds at the moment of the click.
    icon_->setAction([this] {
        if (current_.paused) model_.onResume()();
        else model_.onPause()();
    });
    disc_->setAction([this] {
        if (current_.row == Row::recording) model_.onStop()();
        else if (current_.row == Row::error && !current_.buttons.empty() &&
                 current_.buttons.front().action == OverlayPresentation::Action::retry)
            model_.onRetry()();
        else if (current_.row == Row::error) model_.onDismiss()();
    });

    clockTimer_.setInterval(250);
    connect(&clockTimer_, &QTimer::timeout, this, [this] { update(); });
    connect(&glowClock_, &VoiceGlowClock::frameDue, this, [this] { update(); });

    presenceAnimation_.setEasingCurve(springCurve());
    presenceAnimation_.setDuration(int(springSeconds * 1000));
    connect(&presenceAnimation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        presence_ = v.toDouble();
        update();
    });
    connect(&presenceAnimation_, &QVariantAnimation::finished, this, [this] {
        presence_ = current_.row == Row::none ? 0 : 1;
        configureButtons();
        update();
    });
    widthAnimation_.setEasingCurve(springCurve());
    widthAnimation_.setDuration(int(springSeconds * 1000));
    connect(&widthAnimation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        width_ = v.toDouble();
        positionButtons();
        update();
    });
    connect(&widthAnimation_, &QVariantAnimation::finished, this, [this] {
        width_ = layoutRow(current_).width;
        positionButtons();
        update();
    });
    swapAnimation_.setStartValue(0.0);
    swapAnimation_.setEndValue(double(swapMilliseconds));
    swapAnimation_.setDuration(swapMilliseconds);
    connect(&swapAnimation_, &QVariantAnimation::valueChanged, this, [this] { update(); });
    connect(&swapAnimation_, &QVariantAnimation::finished, this, [this] {
        configureButtons();
        update();
    });

    stateConnection_ = model_.stateChanged().connect([this] { stateChanged(); });
    glowConnection_ = model_.glowChanged().connect([this] { update(); });
    clockConnection_ = model_.clockChanged().connect([this] { update(); });
    // The finish disc's help names the dictation shortcut.
    shortcutConnection_ = DictationShortcut::onChange([this] {
        if (current_.row != Row::none) stateChanged();
    });
    stateChanged();
}

OverlayView::~OverlayView() = default;

void OverlayView::setTheme(const Theme& theme) {
    theme_ = theme;
    icon_->setTheme(theme);
    disc_->setTheme(theme);
    configureButtons();
    update();
}

void OverlayView::setAnimated(bool animated) {
    if (animated == animated_) return;
    animated_ = animated;
    if (!animated_) {
        presenceAnimation_.stop();
        widthAnimation_.stop();
        swapAnimation_.stop();
        glowClock_.finish();
        if (current_.row != Row::none) {
            presence_ = 1;
            width_ = layoutRow(current_).width;
        }
        configureButtons();
        update();
    }
}

QFont OverlayView::textFont() const { return Fonts::system(13); }
QFont OverlayView::clockFont() const { return Fonts::system(14); }

QColor OverlayView::textColor() const {
    QColor color = theme_.primary();
    color.setAlphaF(color.alphaF() * 0.75f);
    return color;
}

QString OverlayView::clockText() const {
    return QString::fromStdString(formatClock(model_.elapsed(now_())));
}

double OverlayView::glowTime() const {
    constexpr double unixAtReference = 978307200.0;
    return platform::secondsSince1970(now_()) - unixAtReference;
}

OverlayView::RowLayout OverlayView::layoutRow(const OverlayPresentation& p) const {
    RowLayout layout;
    const double middle = pillHeight / 2;
    auto square = [&](double x, double side) { return QRectF(x, middle - side / 2, side, side); };
    switch (p.row) {
        case Row::none:
            break;
        case Row::recording: {
            const QFontMetricsF metrics(clockFont());
            const double clockWidth = metrics.horizontalAdvance(clockText());
            double x = p.leadingPadding;
            layout.icon = square(x, RoundButton::side);
            x = layout.icon.right() + 14;
            layout.clock = QRectF(x, 0, clockWidth, pillHeight);
            x = layout.clock.right() + 14;
            layout.disc = square(x, RoundButton::side);
            layout.width = layout.disc.right() + p.trailingPadding;
            break;
        }
        case Row::text:
        case Row::error: {
            const QFontMetricsF metrics(textFont());
            const double symbolSpace = p.symbol ? 13 + 6 : 0;
            const double after = p.row == Row::error ? 10 + RoundButton::side + p.trailingPadding : p.trailingPadding;
            double textWidth = metrics.horizontalAdvance(QString::fromStdString(p.text));
            layout.shownText = QString::fromStdString(p.text);
            const double fixed = p.leadingPadding + symbolSpace + after;
            if (!snapshot_ && fixed + textWidth > livePillLimit) {
                textWidth = std::max(0.0, livePillLimit - fixed);
                layout.shownText = metrics.elidedText(layout.shownText, Qt::ElideRight, textWidth);
            }
            double x = p.leadingPadding;
            if (p.symbol) {
                layout.symbol = square(x, 13);
                x += symbolSpace;
            }
            layout.text = QRectF(x, 0, textWidth, pillHeight);
            x = layout.text.right();
            if (p.row == Row::error) {
                layout.disc = square(x + 10, RoundButton::side);
                x = layout.disc.right();
            }
            layout.width = x + p.trailingPadding;
            break;
        }
    }
    return layout;
}

QRectF OverlayView::pillRect() const {
    if (current_.row == Row::none) return {};
    return QRectF(padding, padding, layoutRow(current_).width, pillHeight);
}

QSize OverlayView::sizeHint() const {
    if (!snapshot_) return QSize(int(liveWidth), int(liveHeight));
    const double width = current_.row == Row::none ? 0 : layoutRow(current_).width;
    return QSize(int(std::ceil(width + 2 * padding)), int(std::ceil(pillHeight + 2 * padding)));
}

void OverlayView::stateChanged() {
    const OverlayPresentation next = OverlayPresentation::of(model_.state());
    if (next == current_ && next.row != Row::none) return;
    const OverlayPresentation old = current_;
    current_ = next;
    if (old.row != Row::none) lastShown_ = old;
    glowClock_.setMode(next.glow);
    setAccessibleName(QString::fromStdString(next.accessibilityLabel));
    if (next.row == Row::recording) clockTimer_.start();
    else clockTimer_.stop();

    const double targetWidth = layoutRow(next).width;
    if (snapshot_) {
        glowClock_.finish();
        presence_ = next.row == Row::none ? 0 : 1;
        width_ = targetWidth;
        resize(sizeHint());
    } else if (!animated_) {
        // Hidden keeps the last pill whole until the window leaves.
        glowClock_.finish();
        if (next.row != Row::none) {
            presence_ = 1;
            width_ = targetWidth;
        }
    } else if (old.row == Row::none && next.row != Row::none) {
        widthAnimation_.stop();
        width_ = targetWidth;
        presenceAnimation_.stop();
        presenceAnimation_.setStartValue(presence_);
        presenceAnimation_.setEndValue(1.0);
        presenceAnimation_.start();
    } else if (next.row == Row::none) {
        presenceAnimation_.stop();
        presenceAnimation_.setStartValue(presence_);
        presenceAnimation_.setEndValue(0.0);
        presenceAnimation_.start();
    } else {
        if (old.contentKey != next.contentKey) {
            previous_ = old;
            swapAnimation_.stop();
            swapAnimation_.start();
        }
        if (targetWidth != width_) {
            widthAnimation_.stop();
            widthAnimation_.setStartValue(width_);
            widthAnimation_.setEndValue(targetWidth);
            widthAnimation_.start();
        }
    }
    configureButtons();
    update();
}

bool OverlayView::transitionRunning() const {
    return presenceAnimation_.state() == QAbstractAnimation::Running ||
           swapAnimation_.state() == QAbstractAnimation::Running;
}

void OverlayView::configureButtons() {
    const bool recording = current_.row == Row::recording;
    const bool error = current_.row == Row::error;
    if (recording) {
        const auto& mic = current_.buttons.front();
        icon_->setSymbol(QString::fromStdString(mic.symbol), !snapshot_ && icon_->isVisible());
        icon_->setHelp(QString::fromStdString(mic.help));
        icon_->setColor(current_.paused ? theme_.tertiary() : theme_.secondary());
    }
    if (recording || error) {
        const auto& d = current_.buttons.back();
        disc_->setSymbol(QString::fromStdString(d.symbol), d.symbolSize, d.weight);
        disc_->setHelp(QString::fromStdString(d.help));
    }
    // While the pill or its content is on the move, the view draws the
    // buttons itself; the real ones come back when it stands still.
    const bool still = !transitionRunning();
    icon_->setVisible(recording && still);
    disc_->setVisible((recording || error) && still);
    positionButtons();
}

void OverlayView::positionButtons() {
    const RowLayout layout = layoutRow(current_);
    const QPointF origin(padding + (width_ - layout.width) / 2, padding);
    if (!layout.icon.isEmpty()) icon_->move((layout.icon.topLeft() + origin).toPoint());
    if (!layout.disc.isEmpty()) disc_->move((layout.disc.topLeft() + origin).toPoint());
}

void OverlayView::paintRow(QPainter& painter, const OverlayPresentation& p, const RowLayout& layout, QPointF origin,
                           bool drawButtons) const {
    painter.save();
    painter.translate(origin);
    painter.setRenderHint(QPainter::TextAntialiasing);
    switch (p.row) {
        case Row::none:
            break;
        case Row::recording: {
            const QColor tone = p.paused ? theme_.tertiary() : theme_.secondary();
            if (drawButtons) {
                const auto& mic = p.buttons.front();
                PlainIcon::paint(painter, layout.icon, QString::fromStdString(mic.symbol), tone, false, theme_);
            }
            painter.setFont(clockFont());
            painter.setPen(tone);
            painter.drawText(layout.clock, Qt::AlignLeft | Qt::AlignVCenter, clockText());
            break;
        }
        case Row::text:
        case Row::error: {
            const QColor color = textColor();
            if (p.symbol) Symbols::paint(painter, *p.symbol, layout.symbol, color);
            painter.setFont(textFont());
            painter.setPen(color);
            painter.drawText(layout.text, Qt::AlignLeft | Qt::AlignVCenter, layout.shownText);
            break;
        }
    }
    if (drawButtons && !layout.disc.isEmpty()) {
        const auto& d = p.buttons.back();
        DiscButton::paint(painter, layout.disc, QString::fromStdString(d.symbol), d.symbolSize, d.weight, false,
                          theme_);
    }
    painter.restore();
}

void OverlayView::paintEvent(QPaintEvent*) {
    const OverlayPresentation& shown = current_.row != Row::none ? current_ : lastShown_;
    if (shown.row == Row::none || presence_ <= 0) return;

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const RowLayout layout = layoutRow(shown);
    const double width = current_.row != Row::none ? width_ : layout.width;
    const QRectF pill(padding, padding, width, pillHeight);

    // The pill grows in from 0.6 at its leading edge and fades with its presence.
    const double scale = 0.6 + 0.4 * presence_;
    painter.setOpacity(std::clamp(presence_, 0.0, 1.0));
    painter.translate(pill.left(), pill.center().y());
    painter.scale(scale, scale);
    painter.translate(-pill.left(), -pill.center().y());

    GlassPill::paintBackground(painter, pill, theme_);
    {
        painter.save();
        painter.setClipPath(GlassPill::capsule(pill));
        const VoiceGlow::Frame frame =
            VoiceGlow::frame(glowClock_.mode(), double(model_.glow()), pill.width(), pill.height(), glowTime());
        VoiceGlow::paint(painter, pill.topLeft(), frame, theme_, glowClock_.opacity());
        painter.restore();
    }

    // The real buttons are there only while the pill stands still and is not leaving.
    const bool drawButtons = transitionRunning() || current_.row == Row::none;
    const double opacity = painter.opacity();
    if (swapAnimation_.state() == QAbstractAnimation::Running && current_.row != Row::none) {
        const double ms = swapAnimation_.currentValue().toDouble();
        const RowLayout old = layoutRow(previous_);
        painter.setOpacity(opacity * fadeOutOpacity(ms));
        paintRow(painter, previous_, old, QPointF(pill.left() + (width - old.width) / 2, pill.top()), true);
        const double progress = fadeInProgress(ms);
        const double grow = 0.9 + 0.1 * progress;
        painter.setOpacity(opacity * progress);
        painter.save();
        painter.translate(pill.center());
        painter.scale(grow, grow);
        painter.translate(-pill.center());
        paintRow(painter, shown, layout, QPointF(pill.left() + (width - layout.width) / 2, pill.top()), true);
        painter.restore();
    } else {
        paintRow(painter, shown, layout, QPointF(pill.left() + (width - layout.width) / 2, pill.top()), drawButtons);
    }
    painter.setOpacity(opacity);
    GlassPill::paintEdge(painter, pill, theme_);
}

}  // namespace Parlox
