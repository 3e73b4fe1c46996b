#include "GlobalKeyBindings/Localization.hpp"

#include <utility>

namespace GlobalKeyBindings {
namespace {

constexpr std::pair<std::string_view, std::string_view> kTexts[] = {
    {"space_key", "Espacio"},
};

}  // namespace

std::string localizedString(std::string_view key) {
    for (const auto& [k, text] : kTexts)
        if (k == key) return std::string(text);
    return std::string(key);
}

}  // namespace GlobalKeyBindings
