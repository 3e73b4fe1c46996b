#include "app/Overlay/QtOverlayController.hpp"

#include <string>

#include <QCursor>
#include <QGuiApplication>
#include <QPainterPath>
#include <QRegion>

#include "app/Overlay/GlassPill.hpp"
#include "app/Overlay/InputShape.hpp"

// After the toolkit's headers: Xlib's macros would clash with them.
#include <X11/Xlib.h>

namespace Parlox {

OverlayPanel::OverlayPanel(OverlayModel& model, OverlayView::Now now)
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint),
      view_(new OverlayView(model, false, std::move(now), this)) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_X11DoNotAcceptFocus);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(int(OverlayPlacement::panelWidth), int(OverlayPlacement::panelHeight));
    view_->move(0, 0);
    view_->setAnimated(compositing());
}

bool OverlayPanel::compositing() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->display()) return true;
    Display* display = x11->display();
    const std::string selection = "_NET_WM_CM_S" + std::to_string(DefaultScreen(display));
    return XGetSelectionOwner(display, XInternAtom(display, selection.c_str(), False)) != 0;
}

void OverlayPanel::fitToPill() {
    const QRectF pill = view_->pillRect();
    // A leaving pill fades inside the shape it had.
    if (pill.isEmpty()) return;
    const QRegion capsule(GlassPill::capsule(pill.adjusted(-1, -1, 1, 1)).toFillPolygon().toPolygon());
    // The transparent rest of the panel lets clicks through to the text under it.
    setInputShape(*this, capsule);
    if (!compositing()) setMask(capsule);
}

QtOverlayController::QtOverlayController(std::shared_ptr<platform::Scheduler> scheduler, Desktop desktop)
    : scheduler_(std::move(scheduler)),
      desktop_(std::move(desktop)),
      model_(std::make_unique<OverlayModel>([s = scheduler_] { return s->now(); })),
      timer_(*model_, scheduler_),
      panel_(std::make_unique<OverlayPanel>(*model_, [s = scheduler_] { return s->now(); })) {
    if (!desktop_.screens) desktop_.screens = OverlayPlacement::currentScreens;
    if (!desktop_.mainScreen) desktop_.mainScreen = OverlayPlacement::currentMainScreen;
    if (!desktop_.mouse) desktop_.mouse = [] { return QPointF(QCursor::pos()); };
    // Shortly after the state turns hidden the panel leaves the screen, unless a show comes first.
    stateConnection_ = model_->stateChanged().connect([this] {
        panel_->fitToPill();
        if (model_->state().kind != OverlayModel::State::Kind::hidden) return;
        timer_.removeAfterDelay([this] {
            orderOut();
            anchor_.reset();
        });
    });
}

QtOverlayController::~QtOverlayController() {
    stateConnection_.disconnect();
    timer_.cancel();
}

bool QtOverlayController::isOnScreen() const { return panel_->isVisible(); }

void QtOverlayController::show(std::optional<platform::Rect> near) {
    timer_.cancel();
    if (isOnScreen() && !near && anchor_) {
        layout();
        orderFront();
        return;
    }
    if (near) {
        anchor_ = *near;
    } else {
        const QPointF mouse = desktop_.mouse();
        anchor_ = platform::Rect{mouse.x(), mouse.y(), 0, 0};
    }
    layout();
    orderFront();
}

void QtOverlayController::hide(double seconds) { timer_.hideAfter(seconds); }

void QtOverlayController::hideAtOnce() {
    timer_.cancel();
    orderOut();
    anchor_.reset();
}

void QtOverlayController::layout() {
    if (!anchor_) return;
    const QRectF anchor(anchor_->x, anchor_->y, anchor_->width, anchor_->height);
    const QRectF frame = OverlayPlacement::frame(anchor, desktop_.screens(), desktop_.mainScreen());
    panel_->move(frame.topLeft().toPoint());
    panel_->fitToPill();
    panel_->update();
}

void QtOverlayController::orderFront() {
    // Shown and raised, never activated: the focused field keeps its focus.
    panel_->view().setAnimated(OverlayPanel::compositing());
    panel_->show();
    panel_->raise();
}

void QtOverlayController::orderOut() { panel_->hide(); }

}  // namespace Parlox
