#pragma once

#include <cstdint>

namespace platform::input {

// Carbon modifier bits: the stored form of a shortcut's modifiers.
namespace carbon {
inline constexpr int command = 0x100;
inline constexpr int shift = 0x200;
inline constexpr int option = 0x800;
inline constexpr int control = 0x1000;
inline constexpr int function = 0x20000;
inline constexpr int known = command | shift | option | control | function;
}  // namespace carbon

// X11 core modifier masks.
namespace x11mask {
inline constexpr std::uint16_t shift = 1 << 0;
inline constexpr std::uint16_t lock = 1 << 1;
inline constexpr std::uint16_t control = 1 << 2;
inline constexpr std::uint16_t mod1 = 1 << 3;  // Alt
inline constexpr std::uint16_t mod4 = 1 << 6;  // Super
}  // namespace x11mask

// Option is Alt (Mod1), Command is Super (Mod4). X11 has no function
// modifier (keyboards resolve Fn in firmware), so that bit is dropped.
std::uint16_t x11ModifiersFromCarbon(int carbonModifiers);

// The Carbon form of an X11 event state; lock and other bits are ignored.
int carbonModifiersFromX11(std::uint16_t state);

}  // namespace platform::input
