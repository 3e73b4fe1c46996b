#include "GlobalKeyBindings/ModifierFlags.hpp"

#include <utility>

#include "GlobalKeyBindings/Localization.hpp"
#include "platform/input/CarbonModifiers.hpp"

namespace GlobalKeyBindings {
namespace {

namespace carbon = platform::input::carbon;

struct Pair {
    ModifierFlags flag;
    int carbonBit;
};

constexpr Pair kPairs[] = {
    {ModifierFlags::control, carbon::control}, {ModifierFlags::option, carbon::option},
    {ModifierFlags::shift, carbon::shift},     {ModifierFlags::command, carbon::command},
    {ModifierFlags::function, carbon::function},
};

}  // namespace

std::int64_t ModifierFlags::carbon() const {
    std::int64_t bits = 0;
    for (const auto& p : kPairs)
        if (contains(p.flag)) bits |= p.carbonBit;
    return bits;
}

ModifierFlags ModifierFlags::fromCarbon(std::int64_t carbonBits) {
    ModifierFlags flags;
    for (const auto& p : kPairs)
        if (carbonBits & p.carbonBit) flags = flags | p.flag;
    return flags;
}

std::string ModifierFlags::presentableDescription() const {
    const std::pair<ModifierFlags, const char*> names[] = {
        {control, "control_key"}, {option, "option_key"}, {shift, "shift_key"}, {command, "command_key"}};
    std::string text;
    for (const auto& [flag, key] : names)
        if (contains(flag)) text += localizedString(key) + "+";
    return text;
}

}  // namespace GlobalKeyBindings
