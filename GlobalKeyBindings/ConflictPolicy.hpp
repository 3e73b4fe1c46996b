#pragma once

#include <cstdint>
#include <functional>

namespace GlobalKeyBindings {

// What the recorder does when a typed shortcut collides with something:
// block refuses it after telling the user, warn lets the user choose, allow
// takes it silently.
enum class ConflictBehavior : std::uint8_t { block = 0, warn = 1, allow = 2 };

struct ConflictPolicy {
    ConflictBehavior menuItem = ConflictBehavior::block;
    ConflictBehavior systemShortcut = ConflictBehavior::warn;
    ConflictBehavior disallowed = ConflictBehavior::block;

    static const ConflictPolicy defaultPolicy;
    static const ConflictPolicy allowAll;

    friend bool operator==(const ConflictPolicy&, const ConflictPolicy&) = default;
};

inline constexpr ConflictPolicy ConflictPolicy::defaultPolicy{
    ConflictBehavior::block, ConflictBehavior::warn, ConflictBehavior::block};
inline constexpr ConflictPolicy ConflictPolicy::allowAll{
    ConflictBehavior::allow, ConflictBehavior::allow, ConflictBehavior::allow};

}  // namespace GlobalKeyBindings

template <>
struct std::hash<GlobalKeyBindings::ConflictPolicy> {
    std::size_t operator()(const GlobalKeyBindings::ConflictPolicy& p) const noexcept {
        return (static_cast<std::size_t>(p.menuItem) << 16) |
               (static_cast<std::size_t>(p.systemShortcut) << 8) |
               static_cast<std::size_t>(p.disallowed);
    }
};
