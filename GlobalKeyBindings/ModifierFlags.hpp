#pragma once

#include <cstdint>
#include <string>

namespace GlobalKeyBindings {

// Modifier flags in the event form (the bits the recorder's key events
// carry); `carbon()` and `fromCarbon()` convert to and from the stored
// Carbon form. Only control, option, shift, command and function survive a
// conversion.
struct ModifierFlags {
    std::uint64_t rawValue = 0;

    constexpr ModifierFlags() = default;
    constexpr explicit ModifierFlags(std::uint64_t raw) : rawValue(raw) {}

    static const ModifierFlags capsLock;
    static const ModifierFlags shift;
    static const ModifierFlags control;
    static const ModifierFlags option;
    static const ModifierFlags command;
    static const ModifierFlags numericPad;
    static const ModifierFlags function;

    constexpr bool contains(ModifierFlags other) const {
        return (rawValue & other.rawValue) == other.rawValue;
    }
    constexpr bool isEmpty() const { return rawValue == 0; }
    constexpr ModifierFlags removing(ModifierFlags other) const {
        return ModifierFlags(rawValue & ~other.rawValue);
    }
    friend constexpr ModifierFlags operator|(ModifierFlags a, ModifierFlags b) {
        return ModifierFlags(a.rawValue | b.rawValue);
    }
    friend constexpr ModifierFlags operator&(ModifierFlags a, ModifierFlags b) {
        return ModifierFlags(a.rawValue & b.rawValue);
    }
    friend constexpr bool operator==(ModifierFlags, ModifierFlags) = default;

    // The Carbon bits of the five known flags.
    std::int64_t carbon() const;
    static ModifierFlags fromCarbon(std::int64_t carbon);

    // The names of the flags present, each followed by "+", in the order
    // "Ctrl+Alt+Mayús+Super+". Command is held with the Super key here; no
    // key gives the function modifier, so it is not named.
    std::string presentableDescription() const;
};

inline constexpr ModifierFlags ModifierFlags::capsLock{0x10000};
inline constexpr ModifierFlags ModifierFlags::shift{0x20000};
inline constexpr ModifierFlags ModifierFlags::control{0x40000};
inline constexpr ModifierFlags ModifierFlags::option{0x80000};
inline constexpr ModifierFlags ModifierFlags::command{0x100000};
inline constexpr ModifierFlags ModifierFlags::numericPad{0x200000};
inline constexpr ModifierFlags ModifierFlags::function{0x800000};

}  // namespace GlobalKeyBindings
