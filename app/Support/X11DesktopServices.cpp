#include "app/Support/X11DesktopServices.hpp"

#include "platform/accessibility/AtspiAccessibility.hpp"
#include "platform/desktop/X11Pasteboard.hpp"
#include "platform/desktop/X11Workspace.hpp"
#include "platform/input/X11KeyboardState.hpp"
#include "platform/input/XTestKeySynth.hpp"

namespace Parlox {

DesktopServices x11DesktopServices() {
    return {platform::MainQueueScheduler::shared(), std::make_shared<platform::accessibility::AtspiAccessibility>(),
            std::make_shared<platform::desktop::X11Workspace>(), std::make_shared<platform::desktop::X11Pasteboard>(),
            std::make_shared<platform::input::XTestKeySynth>(), std::make_shared<platform::input::X11KeyboardState>()};
}

}  // namespace Parlox
