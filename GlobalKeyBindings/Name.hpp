#pragma once

#include <functional>
#include <optional>
#include <string>

#include "GlobalKeyBindings/Shortcut.hpp"

namespace GlobalKeyBindings {

// A named global shortcut: the stable key under which the user's shortcut
// is stored. Names compare and hash by raw value only. Making a name has no
// side effect; `declare(name)` writes its initial shortcut when nothing is
// stored yet.
struct Name {
    std::string rawValue;
    std::optional<Shortcut> initialShortcut;

    explicit Name(std::string name, std::optional<Shortcut> initial = std::nullopt)
        : rawValue(std::move(name)), initialShortcut(std::move(initial)) {}

    static Name fromRawValue(std::string rawValue) { return Name(std::move(rawValue)); }

    const std::optional<Shortcut>& defaultShortcut() const { return initialShortcut; }

    // Reads and writes the stored shortcut (getShortcut / setShortcut).
    std::optional<Shortcut> shortcut() const;
    void setShortcut(const std::optional<Shortcut>& shortcut) const;

    friend bool operator==(const Name& a, const Name& b) { return a.rawValue == b.rawValue; }
};

// The stored value of a name, classified.
struct StoredShortcut {
    enum class Kind { shortcut, disabled, missing };
    Kind kind = Kind::missing;
    std::optional<Shortcut> shortcut;  // set for Kind::shortcut

    friend bool operator==(const StoredShortcut&, const StoredShortcut&) = default;
};

}  // namespace GlobalKeyBindings

template <>
struct std::hash<GlobalKeyBindings::Name> {
    std::size_t operator()(const GlobalKeyBindings::Name& name) const noexcept {
        return std::hash<std::string>{}(name.rawValue);
    }
};
