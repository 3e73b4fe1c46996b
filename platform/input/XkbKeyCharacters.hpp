#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct xkb_keymap;

namespace platform::input {

// The text a key gives with no modifier held, on the active layout when it
// types Latin letters, else on the first layout of the keymap that does (so
// shortcuts read the same on a Cyrillic or Greek layout as on a US one).
// None when the key is unknown or gives nothing.
std::optional<std::string> xkbKeyCharacters(xkb_keymap* keymap, std::uint32_t activeLayout,
                                            int carbonKeyCode);

}  // namespace platform::input
