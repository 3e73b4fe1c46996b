#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace ParloxCore {

// Reading a tool's log for the phrases that classify a failure.
struct LogPhrases {
    // Whether `text` holds any of the phrases. A phrase made of digits (an
    // HTTP status) counts only as a number of its own, not inside a longer
    // run of letters and digits such as the UUID of a request folder.
    static bool containsAny(std::string_view text, std::initializer_list<std::string_view> phrases);

    // The lines between line feeds, empty ones dropped.
    static std::vector<std::string> nonEmptyLines(std::string_view text);
};

}  // namespace ParloxCore
