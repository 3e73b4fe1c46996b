#include "app/Insertion/KeyTargets.hpp"

namespace Parlox {

using platform::input::KeyTarget;
namespace roles = platform::accessibility::roles;

KeyTarget keyTargetFor(const platform::accessibility::ElementRef& element,
                       const std::optional<platform::desktop::RunningApplication>& app) {
    const auto role = element ? element->role() : std::nullopt;
    if (role == std::optional<std::string>(roles::terminal) || (app && app->isTerminal)) return KeyTarget::terminal;
    if (!app) return KeyTarget::ordinary;
    if (app->holdsPseudoTerminal) {
        const bool textField = role == std::optional<std::string>(roles::text);
        return textField ? KeyTarget::mayBeTerminal : KeyTarget::terminal;
    }
    return app->terminalInDoubt ? KeyTarget::mayBeTerminal : KeyTarget::ordinary;
}

bool takenAsTerminal(KeyTarget keys, const CapturedContext& context) {
    if (keys == KeyTarget::terminal) return true;
    const bool readField = context.element && context.method == CapturedContext::Method::accessibility;
    return keys == KeyTarget::mayBeTerminal && !readField;
}

}  // namespace Parlox
