#pragma once

#include <optional>

#include "app/Overlay/OverlayModel.hpp"
#include "platform/foundation/Geometry.hpp"

namespace Parlox {

// Puts the recording indicator of a model on the screen: a floating panel
// that never takes the focus, placed next to an anchor rectangle, and taken
// off the screen shortly after the model's state turns hidden. Main thread only.
class OverlayController {
public:
    virtual ~OverlayController() = default;

    virtual OverlayModel& model() = 0;

    // Cancels a pending timed hide and shows the panel next to `near` (screen
    // coordinates, top-left origin), or next to the mouse pointer when none;
    // a visible panel shown again without a rectangle stays where it is.
    virtual void show(std::optional<platform::Rect> near) = 0;
    // Cancels a pending timed hide and sets the model's state to hidden after
    // `seconds`, only if the state is then still the one seen at the call.
    virtual void hide(double seconds) = 0;
    // Cancels a pending timed hide, takes the panel off the screen now and
    // forgets its anchor.
    virtual void hideAtOnce() = 0;
};

}  // namespace Parlox
