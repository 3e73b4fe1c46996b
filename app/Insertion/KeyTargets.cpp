#include "app/Insertion/KeyTargets.hpp"

namespace Parlox {

platform::input::KeyTarget keyTargetFor(const platform::accessibility::ElementRef& element,
                                        const std::optional<platform::desktop::RunningApplication>& app) {
    const bool terminal = (app && app->isTerminal) ||
                          (element && element->role() == std::optional<std::string>(
                                                             platform::accessibility::roles::terminal));
    return terminal ? platform::input::KeyTarget::terminal : platform::input::KeyTarget::ordinary;
}

}  // namespace Parlox
