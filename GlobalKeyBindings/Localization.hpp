#pragma once

#include <string>
#include <string_view>

namespace GlobalKeyBindings {

// The user-visible text of the module for `key`; the key itself when there
// is no text for it.
std::string localizedString(std::string_view key);

// The text for `key` with its one "%@" replaced by `argument`.
std::string localizedFormat(std::string_view key, std::string_view argument);

}  // namespace GlobalKeyBindings
