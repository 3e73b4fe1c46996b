#pragma once

#include <string_view>

namespace Parlox {

// Whether the text on screen is still the text this program left there.
struct SessionText {
    // Line ends made line feeds and blank ends trimmed on both sides, then
    // compared as canonically equivalent Unicode.
    static bool same(std::string_view a, std::string_view b);
};

}  // namespace Parlox
