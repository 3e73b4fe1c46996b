#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QPointF>
#include <QWidget>

#include "app/Overlay/OverlayController.hpp"
#include "app/Overlay/OverlayHideTimer.hpp"
#include "app/Overlay/OverlayPlacement.hpp"
#include "app/Overlay/OverlayView.hpp"
#include "platform/concurrency/Scheduler.hpp"

namespace Parlox {

// The indicator's floating panel: frameless, translucent, above other
// windows, never focused or activated (a tooltip-like window the window
// manager leaves alone), hosting the indicator view.
class OverlayPanel : public QWidget {
public:
    explicit OverlayPanel(OverlayModel& model, OverlayView::Now now);

    OverlayView& view() { return *view_; }

    // Only the pill's capsule takes clicks. Without a compositing manager
    // translucent pixels show black, so the window is then also cut to it.
    void fitToPill();
    // Whether the X display has a compositing manager; true elsewhere.
    static bool compositing();

private:
    OverlayView* view_;
};

// Puts the indicator on the screen next to the caret: places the panel
// against an anchor rectangle, hides the indicator after a delay, and takes
// the panel off the screen 0.26 s after the state turns hidden.
class QtOverlayController final : public OverlayController {
public:
    // Where the screens and the mouse are; the running display's for what is left empty.
    struct Desktop {
        std::function<std::vector<OverlayPlacement::Screen>()> screens;
        std::function<std::optional<size_t>()> mainScreen;
        std::function<QPointF()> mouse;
    };

    explicit QtOverlayController(std::shared_ptr<platform::Scheduler> scheduler, Desktop desktop = {});
    ~QtOverlayController() override;

    OverlayModel& model() override { return *model_; }
    void show(std::optional<platform::Rect> near) override;
    void hide(double seconds) override;
    void hideAtOnce() override;

    OverlayPanel& panel() { return *panel_; }
    const std::optional<platform::Rect>& anchor() const { return anchor_; }
    bool isOnScreen() const;

private:
    void layout();
    void orderFront();
    void orderOut();

    std::shared_ptr<platform::Scheduler> scheduler_;
    Desktop desktop_;
    std::unique_ptr<OverlayModel> model_;
    OverlayHideTimer timer_;
    std::unique_ptr<OverlayPanel> panel_;
    std::optional<platform::Rect> anchor_;
    platform::Connection stateConnection_;
};

}  // namespace Parlox
