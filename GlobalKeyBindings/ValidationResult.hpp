#pragma once

#include <string>
#include <utility>

namespace GlobalKeyBindings {

// A recorder's caller's answer about a typed shortcut: allow it, or refuse it
// with a reason the user is shown.
struct ValidationResult {
    enum class Kind { allow, disallow };

    Kind kind = Kind::allow;
    std::string reason;  // disallow only

    static ValidationResult allow() { return {}; }
    static ValidationResult disallow(std::string reason) { return {Kind::disallow, std::move(reason)}; }

    friend bool operator==(const ValidationResult&, const ValidationResult&) = default;
};

}  // namespace GlobalKeyBindings
