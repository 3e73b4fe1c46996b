#include "platform/input/CarbonModifiers.hpp"

namespace platform::input {

std::uint16_t x11ModifiersFromCarbon(int carbonModifiers) {
    std::uint16_t mask = 0;
    if (carbonModifiers & carbon::control) mask |= x11mask::control;
    if (carbonModifiers & carbon::option) mask |= x11mask::mod1;
    if (carbonModifiers & carbon::shift) mask |= x11mask::shift;
    if (carbonModifiers & carbon::command) mask |= x11mask::mod4;
    return mask;
}

int carbonModifiersFromX11(std::uint16_t state) {
    int mods = 0;
    if (state & x11mask::control) mods |= carbon::control;
    if (state & x11mask::mod1) mods |= carbon::option;
    if (state & x11mask::shift) mods |= carbon::shift;
    if (state & x11mask::mod4) mods |= carbon::command;
    return mods;
}

}  // namespace platform::input
