#pragma once

#include <string>
#include <string_view>

namespace ParloxCore {

// Normalises a back-end's raw answer before it is pasted: a wrapping code
// fence or pair of quotes goes, trailing blanks at line ends and runs of
// blank lines go.
struct ResponseCleaner {
    static std::string clean(std::string_view text);

private:
    static std::string removingCodeFence(const std::string& text);
    static std::string removingWrappingQuotes(const std::string& text);
};

}  // namespace ParloxCore
