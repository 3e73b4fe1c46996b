#pragma once

#include <string>
#include <string_view>

namespace GlobalKeyBindings {

// The user-visible text of the module for `key`; the key itself when there
// is no text for it.
std::string localizedString(std::string_view key);

}  // namespace GlobalKeyBindings
