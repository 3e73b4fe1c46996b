#include "writing/LogPhrases.hpp"

#include <algorithm>

namespace ParloxCore {
namespace {

bool isAsciiAlphanumeric(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool containsNumber(std::string_view text, std::string_view number) {
    for (auto pos = text.find(number); pos != std::string_view::npos; pos = text.find(number, pos + 1)) {
        const bool before = pos > 0 && isAsciiAlphanumeric(text[pos - 1]);
        const std::size_t end = pos + number.size();
        const bool after = end < text.size() && isAsciiAlphanumeric(text[end]);
        if (!before && !after) return true;
    }
    return false;
}

}  // namespace

bool LogPhrases::containsAny(std::string_view text, std::initializer_list<std::string_view> phrases) {
    for (auto phrase : phrases) {
        const bool numeric = !phrase.empty() && std::all_of(phrase.begin(), phrase.end(),
                                                            [](char c) { return c >= '0' && c <= '9'; });
        if (numeric ? containsNumber(text, phrase) : text.find(phrase) != std::string_view::npos) return true;
    }
    return false;
}

std::vector<std::string> LogPhrases::nonEmptyLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        if (end > start) lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace ParloxCore
